#include "copy/SignatureCrypto.h"
#include "core/RunTimeError.h"
#include "support/ErrorOf.h"
#include "support/FileFixtures.h"

#include <QtTest>

using namespace tarsel;
using namespace tarsel::crypto;

Q_DECLARE_METATYPE(tarsel::crypto::Verdict)

namespace {

SecureBytes secure(const QByteArray& bytes) {
    SecureBytes result(bytes.size());
    std::copy(bytes.begin(), bytes.end(), result.data());
    return result;
}

QByteArray hex(const char* digits) {
    return QByteArray::fromHex(digits);
}

// RFC 8032, 7.1: TEST 1024's message.
const char* const Message1024 = "08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa"
                                "6e264bf09efe12ee50f8f54e9f77b1"
                                "e355f6c50544e23fb1433ddf73be84d879de7c0046dc4996d9e773f4bc9efe5738"
                                "829adb26c81b37c93a1b270b20329d"
                                "658675fc6ea534e0810a4432826bf58c941efb65d57a338bbd2e26640f89ffbc1a"
                                "858efcb8550ee3a5e1998bd177e93a"
                                "7363c344fe6b199ee5d02e82d522c4feba15452f80288a821a579116ec6dad2b3b"
                                "310da903401aa62100ab5d1a36553e"
                                "06203b33890cc9b832f79ef80560ccb9a39ce767967ed628c6ad573cb116dbefef"
                                "d75499da96bd68a8a97b928a8bbc10"
                                "3b6621fcde2beca1231d206be6cd9ec7aff6f6c94fcd7204ed3455c68c83f4a41d"
                                "a4af2b74ef5c53f1d8ac70bdcb7ed1"
                                "85ce81bd84359d44254d95629e9855a94a7c1958d1f8ada5d0532ed8a5aa3fb2d1"
                                "7ba70eb6248e594e1a2297acbbb39d"
                                "502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad88425de6bde1"
                                "a9187ebb6092cf67bf2b13fd65f270"
                                "88d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc27"
                                "32e69485bbc9c90bfbd62481d9089b"
                                "eccf80cfe2df16a2cf65bd92dd597b0707e0917af48bbb75fed413d238f5555a7a"
                                "569d80c3414a8d0859dc65a46128ba"
                                "b27af87a71314f318c782b23ebfe808b82b0ce26401d2e22f04d83d1255dc51add"
                                "d3b75a2b1ae0784504df543af8969b"
                                "e3ea7082ff7fc9888c144da2af58429ec96031dbcad3dad9af0dcbaaaf268cb8fc"
                                "ffead94f3c7ca495e056a9b47acdb7"
                                "51fb73e666c6c655ade8297297d07ad1ba5e43f1bca32301651339e22904cc8c42"
                                "f58c30c04aafdb038dda0847dd988d"
                                "cda6f3bfd15c4b4c4525004aa06eeff8ca61783aacec57fb3d1f92b0fe2fd1a85f"
                                "6724517b65e614ad6808d6f6ee34df"
                                "f7310fdc82aebfd904b01e1dc54b2927094b2db68d6f903b68401adebf5a7e08d7"
                                "8ff4ef5d63653a65040cf9bfd4aca7"
                                "984a74d37145986780fc0b16ac451649de6188a7dbdf191f64b5fc5e2ab47b57f7"
                                "f7276cd419c17a3ca8e1b939ae49e4"
                                "88acba6b965610b5480109c8b17b80e1b7b750dfc7598d5d5011fd2dcc5600a32e"
                                "f5b52a1ecc820e308aa342721aac09"
                                "43bf6686b64b2579376504ccc493d97e6aed3fb0f9cd71a43dd497f01f17c0e2cb"
                                "3797aa2a2f256656168e6c496afc5f"
                                "b93246f6b1116398a346f1a641f3b041e989f7914f90cc2c7fff357876e506b50d"
                                "334ba77c225bc307ba537152f3f161"
                                "0e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a45a96768d40fd9d03412"
                                "c091c6315cf4fde7cb68606937380d"
                                "b2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86aba41c06"
                                "18983f8741c5ef68d3a101e8a3b8ca"
                                "c60c905c15fc910840b94c00a0b9d0";

const QByteArray Rfc8032Seed2 =
    hex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb");
const QByteArray Rfc8032Public2 =
    hex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");

QByteArray flipped(QByteArray bytes, qsizetype bit) {
    bytes[bit / 8] = char(bytes[bit / 8] ^ (1 << (bit % 8)));
    return bytes;
}

} // namespace

class TestSignatureCrypto : public QObject {
    Q_OBJECT

private slots:
    // RFC 8032, section 7.1: the public key of each seed, its signature, and that it verifies;
    // any other message or signature does not.
    void ed25519KnownAnswers_data() {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QByteArray>("publicKey");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("TEST 1")
            << hex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60")
            << hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a")
            << QByteArray()
            << hex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
                   "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
        QTest::newRow("TEST 2")
            << Rfc8032Seed2 << Rfc8032Public2 << hex("72")
            << hex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                   "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
        QTest::newRow("TEST 3")
            << hex("c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7")
            << hex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025")
            << hex("af82")
            << hex("6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
                   "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a");
        QTest::newRow("TEST 1024")
            << hex("f5e5767cf153319517630f226876b86c8160cc583bc013744c6bf255f5cc0ee5")
            << hex("278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e")
            << hex(Message1024)
            << hex("0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350"
                   "aa5371b1508f9f4528ecea23c436d94b5e8fcd4f681e30a6ac00a9704a188a03");
        // The message is SHA-512("abc"): 64 bytes, as a minisign digest is.
        QTest::newRow("TEST SHA(abc)")
            << hex("833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42")
            << hex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf")
            << hex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                   "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f")
            << hex("dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
                   "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704");
    }

    void ed25519KnownAnswers() {
        QFETCH(QByteArray, seed);
        QFETCH(QByteArray, publicKey);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, signature);
        const SecureBytes secret = secure(seed);
        QCOMPARE(publicKeyOf(secret).toHex(), publicKey.toHex());
        QCOMPARE(sign(secret, publicKey, message).toHex(), signature.toHex());
        QCOMPARE(verify(publicKey, message, signature), Verdict::Good);
        for (const qsizetype bit : {0, 255, 256, 511})
            QCOMPARE(verify(publicKey, message, flipped(signature, bit)), Verdict::Bad);
        QCOMPARE(verify(publicKey, message + 'x', signature), Verdict::Bad);
        if (!message.isEmpty())
            QCOMPARE(verify(publicKey, flipped(message, 0), signature), Verdict::Bad);
    }

    // Keys that no seed grows are told apart from a bad signature: off the curve, encoded out of
    // range, of small order, or a good key with a part of small order added. Another good key is
    // only a bad signature.
    void otherPublicKeys_data() {
        QTest::addColumn<QByteArray>("publicKey");
        QTest::addColumn<Verdict>("verdict");
        const Verdict broken = Verdict::BrokenKey;
        QTest::newRow("all zeros") << QByteArray(32, '\0') << broken;
        QTest::newRow("y = 1, the neutral point") << hex("01") + QByteArray(31, '\0') << broken;
        QTest::newRow("y = 2") << hex("02") + QByteArray(31, '\0') << broken;
        QTest::newRow("y just below 2^192")
            << QByteArray(24, '\xff') + QByteArray(8, '\0') << broken;
        QTest::newRow("x's sign alone") << QByteArray(31, '\0') + '\x80' << broken;
        QTest::newRow("y >= p")
            << hex("edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f") << broken;
        QTest::newRow("all ones") << QByteArray(32, '\xff') << broken;
        QTest::newRow("a key damaged in its last byte") << flipped(Rfc8032Public2, 248) << broken;
        // Rfc8032Public2 plus a point of order 8: on the curve, outside its prime-order group.
        QTest::newRow("a good key with a part of order 8")
            << hex("0169d3c02f3edd121cafbe1dfd45c4cf4aac216a79e36e6326419f2a654d2d46") << broken;
        QTest::newRow("another seed's key")
            << hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a")
            << Verdict::Bad;
        QTest::newRow("the key negated") << flipped(Rfc8032Public2, 255) << Verdict::Bad;
    }

    void otherPublicKeys() {
        QFETCH(QByteArray, publicKey);
        QFETCH(Verdict, verdict);
        const QByteArray signature =
            hex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
        QCOMPARE(verify(publicKey, hex("72"), signature), verdict);
    }

    // A public key that is not the seed's is refused: libsodium would sign with it, and two
    // signatures of one seed under two public keys give the seed away.
    void signRefusesAnotherPublicKey_data() {
        QTest::addColumn<QByteArray>("publicKey");
        QTest::newRow("another seed's")
            << hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
        QTest::newRow("one bit other") << flipped(Rfc8032Public2, 0);
        QTest::newRow("all zeros") << QByteArray(PublicKeySize, '\0');
    }

    void signRefusesAnotherPublicKey() {
        QFETCH(QByteArray, publicKey);
        const SecureBytes seed = secure(Rfc8032Seed2);
        QCOMPARE(test::errorOf([&] { sign(seed, publicKey, hex("72")); }),
                 runTimeNumberOf(ErrorKind::CryptoFailed));
    }

    // Secure bytes start as zeros, whatever the allocator filled them with.
    void secureBytesStartZeroed_data() {
        QTest::addColumn<qsizetype>("size");
        for (const qsizetype size : {0, 1, 64, 4097})
            QTest::addRow("%lld bytes", qlonglong(size)) << size;
    }

    void secureBytesStartZeroed() {
        QFETCH(qsizetype, size);
        const SecureBytes bytes(size);
        QCOMPARE(bytes.size(), size);
        QCOMPARE(bytes.view().toByteArray(), QByteArray(size, '\0'));
    }

    // Messages signed whole, around the sizes where other libraries' buffers end.
    void largeMessages_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("32 KiB") << qsizetype(32 * 1024);
        QTest::newRow("one above 32 KiB") << qsizetype(32 * 1024 + 1);
        QTest::newRow("64 KiB") << qsizetype(64 * 1024);
        QTest::newRow("70,000 bytes") << qsizetype(70'000);
        QTest::newRow("100,000 bytes") << qsizetype(100'000);
    }

    void largeMessages() {
        QFETCH(qsizetype, size);
        const SecureBytes seed = secure(Rfc8032Seed2);
        const QByteArray message = test::patternBytes(size);
        const QByteArray signature = sign(seed, Rfc8032Public2, message);
        QCOMPARE(verify(Rfc8032Public2, message, signature), Verdict::Good);
        QCOMPARE(verify(Rfc8032Public2, flipped(message, 8 * size - 1), signature), Verdict::Bad);
    }

    // RFC 7693's BLAKE2b-512 of "abc"; the others as Python's hashlib computes them, one of them
    // well over 64 KiB.
    void blake2bKnownAnswers_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<qsizetype>("digestSize");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("abc, 512 bits")
            << QByteArray("abc") << qsizetype(64)
            << hex("ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
                   "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
        QTest::newRow("empty, 512 bits")
            << QByteArray() << qsizetype(64)
            << hex("786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419"
                   "d25e1031afee585313896444934eb04b903a685b1448b755d56f701afe9be2ce");
        QTest::newRow("abc, 256 bits")
            << QByteArray("abc") << qsizetype(32)
            << hex("bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319");
        QTest::newRow("100,000 bytes, 512 bits")
            << test::patternBytes(100'000) << qsizetype(64)
            << hex("cec2f051c570da59d10a784d7326b6d24b764dfb0941b8af446052ca0bfe451a"
                   "5da13c0a854910df7a0f2dc6786ea807030a4fc89a3c6a15d57e238b2e26b7a5");
    }

    void blake2bKnownAnswers() {
        QFETCH(QByteArray, message);
        QFETCH(qsizetype, digestSize);
        QFETCH(QByteArray, digest);
        QCOMPARE(blake2b(message, digestSize).toHex(), digest.toHex());
        // The same from secure memory, where a secret key's checksum is taken (secrets are small).
        if (message.size() <= 1024)
            QCOMPARE(blake2b(secure(message).view(), digestSize).toHex(), digest.toHex());
    }

    // RFC 7914, section 12 (r = 8, the r minisign uses).
    void scryptKnownAnswers_data() {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<int>("nLog2");
        QTest::addColumn<quint32>("p");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("N = 1024, p = 16")
            << QByteArray("password") << QByteArray("NaCl") << 10 << 16u
            << hex("fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b373162"
                   "2eaf30d92e22a3886ff109279d9830dac727afb94a83ee6d8360cbdfa2cc0640");
        QTest::newRow("N = 16384, p = 1")
            << QByteArray("pleaseletmein") << QByteArray("SodiumChloride") << 14 << 1u
            << hex("7023bdcb3afd7348461c06cd81fd38ebfda8fbba904f8e3ea9b543f6545da1f2"
                   "d5432955613f0fcf62d49705242a9af9e61e85dc0d651e40dfcf017b45575887");
    }

    void scryptKnownAnswers() {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(int, nLog2);
        QFETCH(quint32, p);
        QFETCH(QByteArray, key);
        SecureBytes derived(key.size());
        scrypt(password, salt, nLog2, p, derived);
        QCOMPARE(derived.view().toByteArray().toHex(), key.toHex());
    }
};

QTEST_GUILESS_MAIN(TestSignatureCrypto)
#include "test_signaturecrypto.moc"
