// The game's resource script as linked into a program: every sound in its exact format and
// length and clean (no clipping, no DC offset, silent ends), every string and dialog in both
// languages, and tutorial pages that fit the tutorial's text box.
#include "engine/cea_graphic.h"
#include "foundation/memory.h"
#include "foundation/zz.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/user.h"
#include "tools/soundgen/sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- Sounds -------------------------------------------------------------------------------

struct Pcm {
    int format = 0, channels = 0, rate = 0, bits = 0, blockAlign = 0;
    long byteRate = 0;
    std::vector<double> left; // first channel, -1 ... 1
    std::vector<double> all;  // every sample of every channel
};

unsigned U16(const BYTE* p) {
    return p[0] | p[1] << 8;
}
unsigned long U32(const BYTE* p) {
    return U16(p) | static_cast<unsigned long>(U16(p + 2)) << 16;
}

// Reads a RIFF WAVE file chunk by chunk; false with `why` when it is not a whole PCM file.
bool ParseWave(const BYTE* data, std::size_t size, Pcm* out, std::string* why) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        *why = "no RIFF WAVE header";
        return false;
    }
    if (U32(data + 4) + 8 != size) {
        *why = "RIFF size " + std::to_string(U32(data + 4)) + " for " + std::to_string(size);
        return false;
    }
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= size;) {
        unsigned long length = U32(data + at + 4);
        const BYTE* body = data + at + 8;
        if (length > size - at - 8) {
            *why = "chunk runs past the end";
            return false;
        }
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16) {
            out->format = static_cast<int>(U16(body));
            out->channels = static_cast<int>(U16(body + 2));
            out->rate = static_cast<int>(U32(body + 4));
            out->byteRate = static_cast<long>(U32(body + 8));
            out->blockAlign = static_cast<int>(U16(body + 12));
            out->bits = static_cast<int>(U16(body + 14));
            haveFormat = true;
        } else if (std::memcmp(data + at, "data", 4) == 0) {
            if (!haveFormat || (out->bits != 8 && out->bits != 16) || out->channels < 1) {
                *why = "data before a usable format";
                return false;
            }
            std::size_t bytes = static_cast<std::size_t>(out->bits / 8);
            for (std::size_t i = 0; i + bytes <= length; i += bytes) {
                double v = bytes == 1 ? (body[i] - 128) / 128.0
                                      : static_cast<std::int16_t>(U16(body + i)) / 32768.0;
                if ((i / bytes) % static_cast<std::size_t>(out->channels) == 0)
                    out->left.push_back(v);
                out->all.push_back(v);
            }
            return true;
        }
        at += 8 + length + (length & 1);
    }
    *why = "no data chunk";
    return false;
}

struct SoundSpec {
    unsigned id;
    int rate, bits, channels;
    double seconds;
};

// The formats and lengths the game's sound table fixes.
const SoundSpec kEffects[] = {
    {1030, 44100, 16, 2, 0.07}, {1044, 44100, 16, 2, 0.09}, {1031, 22050, 8, 1, 1.24},
    {1032, 22050, 8, 1, 0.24},  {1033, 22050, 8, 1, 0.19},  {1034, 22050, 8, 1, 0.15},
    {1035, 11025, 8, 1, 0.05},  {1036, 44100, 8, 1, 0.53},  {1045, 44100, 8, 1, 2.50},
    {1037, 22050, 8, 1, 0.71},  {1038, 22050, 16, 1, 0.92}, {1039, 22050, 16, 1, 0.83},
    {1040, 22050, 16, 1, 0.64}, {1041, 22050, 8, 1, 0.45},  {1042, 44100, 16, 1, 0.50},
    {1043, 22050, 8, 1, 1.10},
};
const SoundSpec kLogoSounds[] = {
    {5001, 22050, 8, 1, 0.87}, {5002, 8000, 16, 1, 0.48}, {5003, 22050, 8, 1, 1.00}};

constexpr double kFrame = 1.0 / 30; // one frame of the game's animation

// Format, length and the signal checks that stand in for listening.
void CheckSound(const SoundSpec& spec, const Pcm& pcm) {
    SCOPED_TRACE("sound " + std::to_string(spec.id));
    EXPECT_EQ(pcm.format, 1) << "PCM";
    EXPECT_EQ(pcm.rate, spec.rate);
    EXPECT_EQ(pcm.bits, spec.bits);
    EXPECT_EQ(pcm.channels, spec.channels);
    EXPECT_EQ(pcm.blockAlign, spec.channels * spec.bits / 8);
    EXPECT_EQ(pcm.byteRate, static_cast<long>(spec.rate) * pcm.blockAlign);
    ASSERT_EQ(pcm.all.size(), pcm.left.size() * static_cast<std::size_t>(spec.channels))
        << "whole sample frames";
    double seconds = static_cast<double>(pcm.left.size()) / spec.rate;
    EXPECT_NEAR(seconds, spec.seconds, kFrame);

    double peak = 0, sum = 0;
    int railed = 0;
    for (double v : pcm.all) {
        peak = std::max(peak, std::fabs(v));
        sum += v;
        if (v <= -1.0 || v >= 127.0 / 128 - 1e-9) ++railed;
    }
    EXPECT_EQ(railed, 0) << "samples at full scale: clipped";
    EXPECT_LT(peak, 0.95) << "headroom";
    EXPECT_GT(peak, 0.3) << "audible";
    EXPECT_LT(std::fabs(sum / static_cast<double>(pcm.all.size())), 0.01) << "DC offset";

    // Faded in and out: the first and last half millisecond stay near silence, so starting or
    // cutting the sound never clicks.
    auto edge = static_cast<std::size_t>(std::max(2.0, spec.rate * 0.0005));
    double head = 0, tail = 0;
    for (std::size_t i = 0; i < edge; ++i) {
        head = std::max(head, std::fabs(pcm.left[i]));
        tail = std::max(tail, std::fabs(pcm.left[pcm.left.size() - 1 - i]));
    }
    EXPECT_LT(head, 0.05) << "starts with a click";
    EXPECT_LT(tail, 0.05) << "ends with a click";
    EXPECT_LT(std::fabs(pcm.left.front()), 0.02);
    EXPECT_LT(std::fabs(pcm.left.back()), 0.02);
}

Pcm LoadWaveResource(unsigned id) {
    Pcm pcm;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), u"WAVE");
    if (found == nullptr) {
        ADD_FAILURE() << "no WAVE resource " << id;
        return pcm;
    }
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    std::string why;
    EXPECT_TRUE(ParseWave(data, SizeofResource(module, found), &pcm, &why))
        << "sound " << id << ": " << why;
    return pcm;
}

TEST(GameSounds, EveryEffectHasItsFormatAndLengthAndIsClean) {
    for (const SoundSpec& spec : kEffects)
        CheckSound(spec, LoadWaveResource(spec.id));
}

TEST(GameSounds, LogoSoundsAreZzBlocksOfCleanWaves) {
    for (const SoundSpec& spec : kLogoSounds) {
        BYTE* data = nullptr;
        DWORD size = 0;
        ASSERT_TRUE(zzloadresource(spec.id, &data, &size)) << spec.id;
        Pcm pcm;
        std::string why;
        EXPECT_TRUE(ParseWave(data, size, &pcm, &why)) << spec.id << ": " << why;
        zzfree(data);
        CheckSound(spec, pcm);
    }
}

// Zero crossings per second over a stretch: a rough pitch.
double Crossings(const Pcm& pcm, double from, double to) {
    auto a = static_cast<std::size_t>(from * pcm.rate), b = static_cast<std::size_t>(to * pcm.rate);
    int n = 0;
    for (std::size_t i = a + 1; i < b && i < pcm.left.size(); ++i)
        if ((pcm.left[i - 1] < 0) != (pcm.left[i] < 0)) ++n;
    return n / (to - from);
}

TEST(GameSounds, HumanWinRisesAndComputerWinFalls) {
    // The two game-over sounds must not be mistaken for each other: the human's win climbs,
    // the computer's win sinks.
    Pcm human = LoadWaveResource(1037), computer = LoadWaveResource(1031);
    ASSERT_FALSE(human.left.empty());
    ASSERT_FALSE(computer.left.empty());
    EXPECT_GT(Crossings(human, 0.40, 0.70), 1.5 * Crossings(human, 0.0, 0.08));
    EXPECT_LT(Crossings(computer, 0.70, 1.20), 0.7 * Crossings(computer, 0.0, 0.18));
}

TEST(GameSounds, CreationVariantsClimbInPitch) {
    // A quick run of creations plays 1039, 1040, 1041 in turn: each a step higher.
    double previous = 0;
    for (unsigned id : {1038u, 1039u, 1040u, 1041u}) {
        Pcm pcm = LoadWaveResource(id);
        ASSERT_FALSE(pcm.left.empty());
        double pitch = Crossings(pcm, 0.05, 0.25);
        EXPECT_GT(pitch, previous * 1.05) << id;
        previous = pitch;
    }
}

TEST(SoundGenerator, RendersTheSameBytesEveryTime) {
    auto first = soundgen::RenderAll(), second = soundgen::RenderAll();
    ASSERT_EQ(first.size(), 19u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].id, second[i].id);
        EXPECT_TRUE(first[i].wave == second[i].wave) << first[i].id;
    }
}

TEST(SoundGenerator, FinishNeverClipsAndRemovesOffset) {
    // A signal far beyond full scale with a large offset still comes out at the asked peak,
    // centred and faded.
    soundgen::Samples loud(2000);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = 3.0 + 5.0 * std::sin(static_cast<double>(i) * 0.3);
    for (int bits : {8, 16}) {
        soundgen::Format format{8000, bits, 1};
        auto wave = soundgen::WaveFile(format, soundgen::Finish(loud, format, 0.8, 0.01, 1));
        Pcm pcm;
        std::string why;
        ASSERT_TRUE(ParseWave(wave.data(), wave.size(), &pcm, &why)) << why;
        double peak = 0, sum = 0;
        for (double v : pcm.all) {
            peak = std::max(peak, std::fabs(v));
            sum += v;
        }
        EXPECT_NEAR(peak, 0.8, 0.02) << bits;
        EXPECT_LT(std::fabs(sum / static_cast<double>(pcm.all.size())), 0.01) << bits;
        EXPECT_LT(std::fabs(pcm.all.front()), 0.02) << bits;
        EXPECT_LT(std::fabs(pcm.all.back()), 0.02) << bits;
    }
}

// ---- Strings ------------------------------------------------------------------------------

std::u16string String(UINT id) {
    const WCHAR* text = nullptr;
    int length = 0;
    if (!platform::resource::FindString(GetModuleHandleW(nullptr), id, &text, &length)) {
        ADD_FAILURE() << "no string " << id;
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(text),
                          static_cast<std::size_t>(length));
}

std::string Narrow(const std::u16string& s) {
    return platform::Narrow(s);
}

TEST(GameStrings, FixedTextsInBothLanguages) {
    const struct {
        UINT id;
        const char16_t* text;
    } fixed[] = {
        {1, u"EN,EO"},
        {2, u"Tessark"},
        {3, u"Tessark"},
        {8, u"-11"},
        {9, u"-11"},
        {34, u"Low"},
        {35, u"Malforta"},
        {36, u"Medium"},
        {37, u"Meznivela"},
        {38, u"High"},
        {39, u"Fortega"},
        {40, u"Tessark - New Game"},
        {41, u"Tessark - Nova Ludo"},
    };
    for (const auto& f : fixed)
        EXPECT_EQ(Narrow(String(f.id)), Narrow(f.text)) << "string " << f.id;
}

TEST(GameStrings, TutorialPagesExistInBothLanguagesAsSingleEntries) {
    for (UINT id = 10; id <= 33; ++id) {
        std::u16string text = String(id);
        EXPECT_GT(text.size(), 40u) << "page string " << id;
        // The next page sits one language-count step on, so a page cannot continue.
        EXPECT_NE(text.back(), u'+') << id;
        EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << id << " has a broken character";
        if (id % 2 == 1) {
            EXPECT_NE(text, String(id - 1)) << id << " is not translated";
        }
    }
}

TEST(GameStrings, EsperantoUsesItsOwnAlphabet) {
    // Esperanto has no q, w, x or y; one in an Esperanto text is English left behind or the
    // x-system standing in for a lost accented letter.
    std::u16string all;
    for (UINT id = 11; id <= 33; id += 2)
        all += String(id) + u" ";
    for (UINT id : {35u, 37u, 39u, 41u})
        all += String(id) + u" ";
    for (char16_t c : all) {
        char16_t lower = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        EXPECT_TRUE(lower != u'q' && lower != u'w' && lower != u'x' && lower != u'y')
            << "letter '" << static_cast<char>(c) << "' in: " << Narrow(all);
    }
    // The accented letters survive the resource compiler as themselves.
    for (char16_t c : std::u16string(u"ĉĝŝŭ"))
        EXPECT_NE(all.find(c), std::u16string::npos) << Narrow(std::u16string(1, c));
}

TEST(GameStrings, TutorialPagesFitTheTextBox) {
    // The tutorial's text box: 222 x 98 pixels, the font "-11", word-wrapped from the top.
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    for (bool esperanto : {false, true}) {
        HFONT font = platform::gdi::FontFromDescription(u"-11", esperanto);
        ASSERT_NE(font, nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        for (UINT id = esperanto ? 11 : 10; id <= 33; id += 2) {
            std::u16string text = String(id);
            RECT box{0, 0, 222, 98};
            int height = DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.c_str()), -1, &box,
                                   DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
            EXPECT_LE(height, 98) << "page " << id << ": " << Narrow(text);
            EXPECT_LE(box.right, 222) << id;
            EXPECT_GE(height, 3 * 11) << "page " << id << " measured as too short to be real";
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
}

// ---- Images ------------------------------------------------------------------------------

TEST(GameImages, EveryPictureIsLinkedAndLoadsThroughTheEngine) {
    // Each picture as the game loads it from its own resources: 8-bit, at its size.
    const struct {
        unsigned id;
        LONG width, height;
    } images[] = {{1006, 240, 294}, {1007, 235, 220}, {1008, 235, 220}, {1009, 235, 220},
                  {1010, 235, 220}, {1011, 235, 220}, {1012, 128, 126}, {1013, 210, 400},
                  {1014, 289, 307}, {1015, 289, 307}, {1016, 240, 198}, {1017, 240, 198},
                  {1026, 60, 18}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.id);
        auto* g = new (MM("GRAPHIC"))
            Graphic(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(image.id), 0xFF0000);
        EXPECT_TRUE(g->IsLoaded());
        EXPECT_EQ(g->GetWidth(), image.width);
        EXPECT_EQ(g->GetHeight(), image.height);
        EXPECT_EQ(g->GetBitsPerPixel(), 8u);
        MemDelete(g, MM("GRAPHIC"));
    }
    // The logo: a zz block of a 200 x 2000 picture.
    BYTE* logo = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(zzloadresource(5000, &logo, &size));
    auto* g = new (MM("GRAPHIC")) Graphic(logo, size, kNoColor);
    EXPECT_EQ(g->GetWidth(), 200);
    EXPECT_EQ(g->GetHeight(), 2000);
    EXPECT_EQ(g->GetBitsPerPixel(), 8u);
    MemDelete(g, MM("GRAPHIC"));
    zzfree(logo);
    // The icon, as the main window's class loads it.
    EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1055), RT_GROUP_ICON),
              nullptr);
}

// ---- Dialogs ------------------------------------------------------------------------------

platform::resource::DialogTemplate Dialog(unsigned id) {
    platform::resource::DialogTemplate t;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (found == nullptr) {
        ADD_FAILURE() << "no dialog " << id;
        return t;
    }
    EXPECT_TRUE(platform::resource::ParseDialogTemplate(LockResource(LoadResource(module, found)),
                                                        SizeofResource(module, found), &t));
    return t;
}

TEST(GameDialogs, MainWindowHoldsOnlyTheAnimationWindow) {
    for (unsigned id : {1001u, 1002u}) {
        SCOPED_TRACE(id);
        auto t = Dialog(id);
        EXPECT_EQ(t.style & WS_POPUP, static_cast<DWORD>(WS_POPUP));
        EXPECT_EQ(t.style & WS_CHILD, 0u);
        EXPECT_EQ(Narrow(t.className), "TessarkClass");
        EXPECT_EQ(t.pointSize, 8);
        EXPECT_EQ(Narrow(t.face), "MS Shell Dlg");
        EXPECT_EQ(t.cx, 160);
        EXPECT_EQ(t.cy, 185);
        ASSERT_EQ(t.items.size(), 1u);
        const auto& anim = t.items[0];
        EXPECT_EQ(anim.id, 1005u);
        EXPECT_EQ(Narrow(anim.className), "AnimWindow");
        EXPECT_EQ(anim.x, 0);
        EXPECT_EQ(anim.y, 0);
        EXPECT_EQ(anim.cx, 160);
        EXPECT_EQ(anim.cy, 185);
        EXPECT_EQ(anim.style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    }
}

TEST(GameDialogs, NewGameDialogHasEveryControlInBothLanguages) {
    enum Kind { Group, Radio, Static, Check, DefPush, Push };
    const struct {
        int id;
        Kind kind;
        const char16_t* english;
        const char16_t* esperanto;
        short x, y, cx, cy;
    } rows[] = {
        {-1, Group, u"Opponent", u"Opponent", 4, 4, 152, 69},
        {1046, Radio, u"Play a local human opponent", u"Ludu kontraŭ loka ludanto", 12, 22, 123,
         10},
        {1047, Radio, u"Play a computer opponent", u"Ludu kontraŭ la komputilo:", 12, 36, 123, 10},
        {1051, Static, u"Strength:", u"Ĝia Forto:", 28, 52, 40, 8},
        {1048, Radio, u"", u"", 69, 52, 10, 10},
        {1049, Radio, u"", u"", 80, 52, 10, 10},
        {1050, Radio, u"", u"", 91, 52, 10, 10},
        {1052, Static, u"(strength)", u"(forto)", 108, 52, 35, 8},
        {-1, Group, u"Options", u"Elektoj", 4, 88, 152, 57},
        {1053, Check, u"Play sound effects", u"Sonigu sonefikojn", 12, 106, 136, 10},
        {1054, Check, u"Show light traces on playing board", u"Vidigu lumspuraĝojn sur la ludtablo",
         12, 122, 136, 10},
        {1, DefPush, u"OK", u"Akceptu", 51, 167, 50, 14},
        {2, Push, u"Cancel", u"Nuligu", 106, 167, 50, 14},
    };
    for (unsigned dialog : {125u, 126u}) {
        SCOPED_TRACE(dialog);
        auto t = Dialog(dialog);
        EXPECT_EQ(t.style & WS_POPUP, static_cast<DWORD>(WS_POPUP));
        EXPECT_EQ(t.style & DS_CENTER, static_cast<DWORD>(DS_CENTER));
        EXPECT_EQ(t.cx, 160);
        EXPECT_EQ(t.cy, 185);
        EXPECT_EQ(t.pointSize, 8);
        EXPECT_EQ(Narrow(t.face), "MS Shell Dlg");
        EXPECT_EQ(t.title, String(dialog == 125 ? 40 : 41));
        ASSERT_EQ(t.items.size(), std::size(rows));
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            const auto& want = rows[i];
            const auto& got = t.items[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(got.id & 0xFFFF, static_cast<DWORD>(want.id) & 0xFFFF);
            EXPECT_EQ(Narrow(got.title), Narrow(dialog == 125 ? want.english : want.esperanto));
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            DWORD type = got.style & 0xF;
            bool button = got.classAtom == 0x80;
            switch (want.kind) {
            case Group:
                EXPECT_TRUE(button && type == 7);
                break;
            case Radio:
                EXPECT_TRUE(button && type == 9);
                break;
            case Check:
                EXPECT_TRUE(button && type == 3);
                break;
            case DefPush:
                EXPECT_TRUE(button && type == 1);
                break;
            case Push:
                EXPECT_TRUE(button && type == 0);
                break;
            case Static:
                EXPECT_TRUE(got.classAtom == 0x82 && type == 0);
                break;
            }
        }
        // The radio groups: 1046/1047 apart from 1048 ... 1050, which 1051 opens and 1052
        // closes; no group starts inside either.
        auto groupStart = [&](std::size_t i) { return (t.items[i].style & WS_GROUP) != 0; };
        EXPECT_TRUE(groupStart(3)) << "1051 starts a group";
        EXPECT_TRUE(groupStart(7)) << "1052 starts a group";
        for (std::size_t i : {2u, 4u, 5u, 6u})
            EXPECT_FALSE(groupStart(i)) << t.items[i].id << " would split a radio group";
    }
}

} // namespace
