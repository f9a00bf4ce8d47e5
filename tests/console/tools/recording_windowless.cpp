// The windowless program as the tests run it: the same entry and face, but each message box is
// written into the JSON file that TARSEL_RECORDED_BOXES names (onto standard error without it)
// instead of shown, so that no test ever waits for a real one.

#include "console/CommandLine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

class RecordedBoxes : public tarsel::MessageBoxes {
public:
    int msgBox(const QString& prompt, int style, const QString& title) override {
        boxes_.append(QJsonObject{{QStringLiteral("prompt"), prompt},
                                  {QStringLiteral("style"), style},
                                  {QStringLiteral("title"), title}});
        const QByteArray json = QJsonDocument(boxes_).toJson();
        QFile file(qEnvironmentVariable("TARSEL_RECORDED_BOXES"));
        if (file.fileName().isEmpty() || !file.open(QIODevice::WriteOnly) ||
            file.write(json) != json.size())
            std::fputs(json.constData(), stderr);
        return tarsel::MsgAnswer::Ok;
    }

private:
    QJsonArray boxes_;
};

} // namespace

int main(int argc, char** argv) {
    RecordedBoxes boxes;
    return tarsel::console::runCommandLine(argc, argv, &boxes);
}
