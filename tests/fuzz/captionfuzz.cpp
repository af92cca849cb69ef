// Any path, valid UTF-8 or not, gets a display text that is the path itself or "..." and a tail
// of it that starts at a separator, and a caption without control or bidirectional formatting
// characters that shows that text with its "&" doubled.
#include "list/caption.h"

#include <algorithm>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool hasControls(std::string_view text)
{
    for (const char* bidi : {"\u061C", "\u200E", "\u200F", "\u202A", "\u202B", "\u202C", "\u202D",
             "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"}) {
        if (text.find(bidi) != std::string_view::npos)
            return true;
    }
    return std::ranges::any_of(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
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
    require(!hasControls(caption));
    if (hasControls(shown))
        return 0;
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
