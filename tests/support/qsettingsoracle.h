#pragma once

#include "settings/ini/inicodec.h"

#include <QTemporaryDir>
#include <optional>
#include <string>

// What QSettings itself reads from and writes for INI text, to compare the codec with.
class QSettingsOracle {
public:
    QSettingsOracle();

    // The values QSettings reads from text; nothing where it reads a value as anything but a
    // string.
    std::optional<ini::Values> read(const std::string& text);
    std::string write(const ini::Values& values);

private:
    // QSettings caches what it read by file name, so every text gets a file of its own.
    QString freshFileName();

    QTemporaryDir folder;
    int files = 0;
};
