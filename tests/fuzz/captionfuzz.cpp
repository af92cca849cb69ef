// Any path, valid UTF-8 or not, gets a display text that is the path itself or "..." and a tail
// of it that starts at a separator, and a caption that shows that text with its "&" doubled.
#include "caption.h"

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const auto index = data.ConsumeIntegralInRange<std::int16_t>(1, 20);
    const std::string path = data.ConsumeRemainingBytesAsString();

    const std::string shown = displayText(path);
    if (shown != path) {
        require(shown.starts_with("..."));
        const std::string tail = shown.substr(3);
        require(path.ends_with(tail));
        require(!tail.empty() && (tail.front() == '/' || tail.front() == '\\'));
    }

    const std::string caption = entryCaption(index, path);
    const std::string prefix = "&" + std::to_string(index) + "   ";
    require(caption.starts_with(prefix));
    std::string undoubled;
    for (std::size_t i = prefix.size(); i < caption.size(); ++i) {
        undoubled += caption[i];
        if (caption[i] == '&') {
            require(i + 1 < caption.size() && caption[i + 1] == '&');
            ++i;
        }
    }
    require(undoubled == shown);
    return 0;
}
