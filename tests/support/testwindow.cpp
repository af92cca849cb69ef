#include "tests/support/testwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

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
