#pragma once

#include "tests/support/fakes.h"
#include "window/filedialog.h"
#include "window/form1.h"

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>

class QLineEdit;
class QWidget;

// A private, empty folder whose configuration home (the folder itself, or the one below it) is
// XDG_CONFIG_HOME while it lives.
class SettingsHome {
public:
    explicit SettingsHome(const QString& configBelow = {});
    ~SettingsHome();
    SettingsHome(const SettingsHome&) = delete;
    SettingsHome& operator=(const SettingsHome&) = delete;

    QString path(const QString& relative = {}) const;
    // Where the store of that name keeps its file, in the configuration home.
    QString settingsFile(const QString& name) const;

private:
    QTemporaryDir folder;
    QString configHome;
    QByteArray saved;
};

// Answers the file dialog with the paths a test lines up, nothing for a cancel.
class ScriptedFileDialog final : public FileDialog {
public:
    std::optional<std::string> chooseFileToOpen() override;

    std::deque<std::optional<std::string>> answers;
    int opened = 0;
};

// The program's window over a store, with its dialogs answered by the test.
struct TestWindow {
    explicit TestWindow(SettingsStore& store);

    // Clicks Open with the dialog answering path, or cancelling.
    void open(const std::optional<std::string>& path);
    void submitMaximum(const QString& typed);
    QLineEdit* maximumBox() const;
    std::vector<std::string> tags() { return menuTags(form.mnuHIX()); }
    void click(const char* button);

    FakeMessageBox messages;
    ScriptedFileDialog dialog;
    Form1 form;
};

// Runs inspect on the next modal dialog once it is up.
void whenModal(std::function<void(QWidget*)> inspect);
