#pragma once

#include <QObject>
#include <QSocketNotifier>

// Ends every running event loop on SIGTERM, SIGINT and SIGHUP, so a desktop that logs out or a
// terminal that closes ends the program as its File menu would, after a save in flight. A signal
// that comes while a dialog shown before the main loop is open ends that dialog, and received()
// tells main not to start the main loop at all.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool received() const { return hasReceived; }
    // Whether a signal has come, even before the event loop has taken it: no box or dialog is
    // shown from then on.
    static bool ending();
    // Readable from the moment a signal comes.
    int descriptor() const;

private:
    void quit();

    QSocketNotifier notifier;
    bool hasReceived = false;
};
