// A copy of the list over the real store that acts on command, for the tests of a disk that stops
// answering:
//   stall_driver SETTINGS_FILE
// reads one action a line: "start", "open PATH", "promote INDEX" or "submit TEXT"; after each it
// prints the milliseconds it took, the error boxes it showed, and the menu's paths.
#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"

#include <QCoreApplication>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    std::unique_ptr<UserSettingsStore> store;
    std::unique_ptr<WindowlessCopy> copy;
    for (std::string line; std::getline(std::cin, line);) {
        const std::string action = line.substr(0, line.find(' '));
        const std::string argument
            = line.size() > action.size() ? line.substr(action.size() + 1) : "";
        const auto started = std::chrono::steady_clock::now();
        if (action == "start") {
            store = std::make_unique<UserSettingsStore>(argv[1]);
            copy = std::make_unique<WindowlessCopy>(*store);
            copy->startUp();
        } else if (action == "open") {
            copy->open(argument);
        } else if (action == "promote") {
            copy->open(copy->tags().at(std::stoul(argument) - 1));
        } else if (action == "submit") {
            copy->submitMaximum(argument);
        } else {
            return 2;
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        std::cout << took.count() << " errors=" << copy->messages.errors.size() << " menu=";
        for (const std::string& tag : copy->tags())
            std::cout << tag << ',';
        for (const std::string& error : copy->messages.errors)
            std::cout << " | " << error;
        std::cout << std::endl;
    }
    return 0;
}
