#include "app/QtDialogs.h"

#include <QDir>
#include <QFileDialog>

namespace tarsel {

namespace {
// The parts of a style number.
constexpr int ButtonsMask = 0x0F;
constexpr int IconMask = 0x70;
constexpr int DefaultButtonMask = 0x300;

QString withLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

bool isWildcard(const QString& fileName) {
    return fileName.contains(u'*') || fileName.contains(u'?');
}

QString orCancelled(const QString& chosen, const QString& cancelled) {
    return chosen.isEmpty() ? cancelled : QDir::toNativeSeparators(chosen);
}
} // namespace

QtDialogs::QtDialogs(QWidget* parent) : parent_(parent) {}

void QtDialogs::setParentWidget(QWidget* parent) {
    parent_ = parent;
}

int QtDialogs::msgBox(const QString& prompt, int style, const QString& title) {
    const auto box = makeMessageBox(prompt, style, title, parent_);
    box->exec();
    return messageBoxAnswer(box->standardButton(box->clickedButton()));
}

QString QtDialogs::showOpen(const QString& title, const QString& filter, const QString& fileName) {
    // A wildcard names no file to preselect; the filter already stands for it.
    const QString initial = isWildcard(fileName) ? QString() : fileName;
    return orCancelled(QFileDialog::getOpenFileName(parent_, title, initial, nameFilter(filter)),
                       fileName);
}

std::optional<QString> QtDialogs::browseForFolder(const QString& title) {
    const QString folder = QFileDialog::getExistingDirectory(parent_, title);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString& prompt, int style, const QString& title,
                                            QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title.isEmpty() ? AppTitle : title);
    box->setTextFormat(Qt::PlainText);
    box->setText(withLineBreaks(prompt));
    box->setIcon((style & IconMask) == MsgStyle::Critical ? QMessageBox::Critical
                                                          : QMessageBox::NoIcon);
    if ((style & ButtonsMask) == MsgStyle::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        const bool second = (style & DefaultButtonMask) == MsgStyle::DefaultButton2;
        box->setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

int messageBoxAnswer(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Ok;
    }
}

QString nameFilter(const QString& filter) {
    // On Windows "*.*" matches every name; here it would miss names without a dot.
    if (filter == QLatin1String("*.*"))
        return QStringLiteral("All files (*)");
    return filter;
}

} // namespace tarsel
