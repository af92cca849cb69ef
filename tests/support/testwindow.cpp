#include "tests/support/testwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

SettingsHome::SettingsHome(const QString& configBelow)
    : configHome(path(configBelow))
    , saved(qgetenv("XDG_CONFIG_HOME"))
{
    if (!folder.isValid())
        throw std::runtime_error("no temporary folder for a settings home");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
}

SettingsHome::~SettingsHome()
{
    qputenv("XDG_CONFIG_HOME", saved);
}

QString SettingsHome::path(const QString& relative) const
{
    return relative.isEmpty() ? folder.path() : folder.filePath(relative);
}

QString SettingsHome::settingsFile(const QString& name) const
{
    return configHome + QStringLiteral("/hix/%1.conf").arg(name);
}

std::optional<std::string> ScriptedFileDialog::chooseFileToOpen()
{
    ++opened;
    if (answers.empty())
        throw std::logic_error("the file dialog was opened more often than the test expected");
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
}

TestWindow::TestWindow(SettingsStore& store)
    : form(store, &messages, &dialog)
{
}

void TestWindow::open(const std::optional<std::string>& path)
{
    dialog.answers.push_back(path);
    click("Command1");
}

void TestWindow::submitMaximum(const QString& typed)
{
    maximumBox()->setText(typed);
    click("Command2");
}

QLineEdit* TestWindow::maximumBox() const
{
    return form.findChild<QLineEdit*>(QStringLiteral("maxHixTxt"));
}

void TestWindow::click(const char* button)
{
    form.findChild<QPushButton*>(QLatin1String(button))->click();
}

void whenModal(std::function<void(QWidget*)> inspect)
{
    QTimer::singleShot(0, [inspect] {
        if (QWidget* modal = QApplication::activeModalWidget())
            inspect(modal);
        else
            whenModal(inspect);
    });
}
