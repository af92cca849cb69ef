#pragma once

#include "list/form.h"
#include "list/hix.h"

#include <QMainWindow>
#include <QTimer>
#include <chrono>
#include <memory>

class ActionEntryArray;
class ActionMenuItem;
class FileDialog;
class LineEditTextBox;
class MessageBox;
class PlainTextEditTextBox;
class QAction;
class QMenu;
class SettingsStore;

// The program's only window. It owns the recent-files list and shows it in the File menu.
class Form1 final : public QMainWindow, public Form {
    Q_OBJECT

public:
    // Without a message box or file dialog of the caller's, the window uses real, modal ones.
    explicit Form1(
        SettingsStore& store, MessageBox* messageBox = nullptr, FileDialog* fileDialog = nullptr);
    ~Form1() override;

    // The first show restores the list before the window appears.
    void setVisible(bool visible) override;

    MenuEntryArray& mnuHIX() override;
    MenuItem& mnuBar1() override;
    TextBox& Text1() override;
    TextBox& maxHixTxt() override;

public slots:
    // Shows the list as another copy, or a person, left it in the store, and tries again to save
    // what is kept. Waits while an action runs, so that nothing changes under its feet.
    void refreshList();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // One last try to save what is kept; nothing is asked at exit.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void Form_Load();
    void Command1_Click();
    void mnuOpen_Click();
    void Command2_Click();
    void mnuHIX_Click(std::int16_t index);
    void mnuExit_Click();

private:
    void createMenus();
    void createControls();
    void ChooseFile();
    template<typename Handler>
    void guarded(const char* failure, Handler handler);
    void saveKept();
    bool listInUse() const;
    void keepTrying();
    void showStoreNotices();

    std::unique_ptr<MessageBox> ownMessageBox;
    std::unique_ptr<FileDialog> ownFileDialog;
    MessageBox& messageBox;
    FileDialog& CommonDialog1;
    HIX hix;
    bool loaded = false;
    int runningActions = 0;
    bool refreshWaiting = false;
    // Looks again at a file still being written, and tries again to save what is kept, waiting
    // longer each time.
    QTimer settling;
    QTimer retry;
    std::chrono::seconds retryDelay;

    QList<QAction*> inertShortcutItems;
    QMenu* fileMenu = nullptr;
    ActionEntryArray* entries = nullptr;
    std::unique_ptr<ActionMenuItem> separatorAboveEntries;
    std::unique_ptr<PlainTextEditTextBox> log;
    std::unique_ptr<LineEditTextBox> maximumBox;
};
