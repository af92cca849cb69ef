// Random bytes as a settings file: the codec reads the values QSettings reads or says that it
// cannot read them faithfully, writes the bytes QSettings writes for what it read, and what it
// writes reads back whole.
#include "settings/ini/inicodec.h"
#include "tests/support/qsettingsoracle.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "INI codec fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    static QSettingsOracle oracle;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    const ini::Parsed parsed = ini::parse(text);
    if (parsed.faithful())
        require(oracle.read(text) == parsed.values, "a faithful read gives what QSettings reads");

    const std::string written = ini::serialise(parsed.values);
    const ini::Parsed reread = ini::parse(written);
    require(reread.faithful() && reread.values == parsed.values, "what is written reads back");
    if (written.find("\\xfeff") == std::string::npos)
        require(written == oracle.write(parsed.values), "the bytes are the ones QSettings writes");
    return 0;
}
