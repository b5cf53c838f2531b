// libFuzzer target: arbitrary bytes as a skin's "skin.txt" (parsed, then every window and
// control setting read with and without a window prefix and application settings), and as a
// removal text applied to the parsed table.
#include "foundation/properties.h"
#include "setup/unzipper.h"
#include "skin/skinlib.h"
#include "tests/setup/zip_builder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ziptest::Entry e;
    e.name = "skin.txt";
    e.data.assign(data, data + size);
    e.size = static_cast<std::uint32_t>(size);
    ziptest::Bytes archive = ziptest::Archive({e});
    auto* skin = new (MM("SKIN"))
        Skin(new (MM("ZIPFILE")) ZIPFILE(archive.data(), static_cast<DWORD>(archive.size())));
    cetl::PROPERTIES app;
    app.Parse(reinterpret_cast<const char*>(data), size);
    const cetl::PROPERTIES* apps[] = {nullptr, &app};
    const char* prefixes[] = {nullptr, "TessarkSetup"};
    for (const cetl::PROPERTIES* a : apps)
        for (const char* prefix : prefixes) {
            skin->ReadWindowSettings(a, prefix);
            for (DWORD kind = 0; kind <= kSkinList; ++kind)
                skin->ReadControlSettings(kind, a, prefix);
        }
    try {
        skin->GetImage("frame", kSkinFrame, "TessarkSetup");
    } catch (const cetl::exception&) {
    }
    app.Parse(reinterpret_cast<const char*>(data), size, true);
    MemDelete(skin, MM("SKIN"));
    return 0;
}
