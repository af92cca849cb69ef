// Any text converts without a fault, and a converted number reads back as itself.
#include "list/numeric.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    const Int16Conversion converted = convertToInt16(text);
    if (converted.kind == Int16Conversion::Kind::InRange) {
        const Int16Conversion again = convertToInt16(std::to_string(converted.value));
        if (again.kind != Int16Conversion::Kind::InRange || again.value != converted.value)
            std::abort();
    }
    const Int16Conversion padded = convertToInt16(" " + text + "\t");
    if (padded.kind != converted.kind || padded.value != converted.value)
        std::abort();
    return 0;
}
