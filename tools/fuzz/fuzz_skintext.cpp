// libFuzzer target: arbitrary bytes as a skin's "skin.txt": parsed, then every window and
// control setting read with and without a window prefix and application settings (the same
// text, so both levels are exercised), and the text applied again in removal mode. A whole
// skin is not made per input: its palette group costs far more than the parse.
#include "foundation/properties.h"
#include "skin/skinlib.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    cetl::PROPERTIES skin, app;
    skin.Parse(text, size);
    app.Parse(text, size / 2);
    const cetl::PROPERTIES* apps[] = {nullptr, &app};
    const char* prefixes[] = {nullptr, "TessarkSetup"};
    for (const cetl::PROPERTIES* a : apps)
        for (const char* prefix : prefixes) {
            SkinReadWindowSettings(skin, a, prefix);
            // One kind per control prefix, and one without.
            for (DWORD kind : {kSkinPushButton, kSkinRadioButton, kSkinCheckBox, kSkinEdit,
                               kSkinList, kSkinText})
                SkinReadControlSettings(skin, kind, a, prefix);
            SkinColor(SkinLookup(skin, "transparent color", a, prefix).c_str());
        }
    // Every key came from a line of the text, so removal by the same text empties the table.
    skin.Parse(text, size, true);
    if (!skin.empty()) std::abort();
    return 0;
}
