// The desktop on Linux: QSettings' file as the settings key, the freedesktop.org Trash, the program's own folder
// picker, and file names in the locale's encoding.
#include "ui/Desktop.h"

#include "ui/Dialogs.h"
#include "ui/PathText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace twinspotter {

QString displayText(std::string_view bytes)
{
    return QFile::decodeName(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

PathString toPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

namespace desktop {

namespace {

class SettingsFile : public SettingsKey
{
public:
    SettingsFile() : m_settings(QStringLiteral("QuillNet"), QStringLiteral("Twinspotter"))
    {
        // QSettings writes nothing while it holds no values, so the key's file is created by hand.
        const QFileInfo key(m_settings.fileName());
        if (!key.exists() && QDir().mkpath(key.absolutePath())) {
            QFile file(key.absoluteFilePath());
            if (file.open(QIODevice::WriteOnly))
                file.close();
        }
        m_settings.sync();
    }

    QString location() const override { return m_settings.fileName(); }

private:
    QSettings m_settings;
};

} // namespace

std::unique_ptr<SettingsKey> openSettingsKey()
{
    return std::make_unique<SettingsFile>();
}

QString trashOptionCaption()
{
    return QStringLiteral("move files to the &Trash instead of deleting");
}

QString chooseFolder(QWidget* parent, const QString& title)
{
    FolderPicker picker(title, parent);
    return picker.exec() == QDialog::Accepted ? picker.chosenFolder() : QString();
}

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace desktop
} // namespace twinspotter
