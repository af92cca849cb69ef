#pragma once

#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"
#include "window/filedialog.h"
#include "window/form1.h"

#include <deque>
#include <functional>

class QLineEdit;
class QWidget;

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
