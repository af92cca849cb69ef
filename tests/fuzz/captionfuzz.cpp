// Any path, valid UTF-8 or not, gets a display text that is the path itself or "..." and a tail
// of it that starts at a separator, and a caption in which every character shows as itself and
// which gives back that text once its "&" are undoubled and its "[U+XXXX]" read as characters.
#include "list/caption.h"

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Read as UTF-16, as the menu reads it.
bool showsAsItself(std::string_view text)
{
    std::u16string utf16(text.size() + 1, u'\0');
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16.data(), std::int32_t(utf16.size()), &length, text.data(),
        std::int32_t(text.size()), 0xFFFD, nullptr, &status);
    require(U_SUCCESS(status));
    for (std::int32_t i = 0; i < length;) {
        UChar32 character;
        U16_NEXT(utf16.data(), i, length, character);
        const auto type = u_charType(character);
        if (type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR
            || type == U_PARAGRAPH_SEPARATOR
            || u_hasBinaryProperty(character, UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            return false;
    }
    return true;
}

std::string readBack(std::string_view caption)
{
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            require(i + 1 < caption.size() && caption[i + 1] == '&');
            text += caption[++i];
        } else if (caption.substr(i).starts_with("[U+")) {
            const std::size_t end = caption.find(']', i);
            require(end != std::string_view::npos);
            const std::string hex(caption.substr(i + 3, end - i - 3));
            const auto codePoint = static_cast<UChar32>(std::stoul(hex, nullptr, 16));
            char utf8[4];
            std::int32_t length = 0;
            U8_APPEND_UNSAFE(utf8, length, codePoint);
            text.append(utf8, std::size_t(length));
            i = end;
        } else {
            text += caption[i];
        }
    }
    return text;
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
    require(showsAsItself(caption));
    // A path may hold "[U+" itself, which reads back as something else.
    if (shown.find("[U+") == std::string::npos)
        require(readBack(std::string_view(caption).substr(prefix.size())) == shown);
    return 0;
}
