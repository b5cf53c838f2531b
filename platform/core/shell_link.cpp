// The shell-link object and the desktop menu entries of shortcuts in the programs menu.
#include "platform/core/kernel_internal.h"
#include "platform/core/shell_internal.h"
#include "platform/reg.h"
#include "platform/shlobj.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

const CLSID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersist = {0x0000010C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

thread_local int t_comDepth = 0;

constexpr const char* kHeader = "[TessarkShortcut]";
// A shortcut file larger than this is not one of ours.
constexpr std::uintmax_t kMaxShortcutBytes = 64 * 1024;
constexpr std::uintmax_t kMaxIconBytes = 4u << 20;

struct Fields {
    std::string path;
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = 0;
    int showCmd = SW_SHOWNORMAL;

    bool operator==(const Fields&) const = default;
};

// Field values keep any byte; the few that would break the line format are written %XX.
std::string EscapeField(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        if (c == '%' || c < 0x20 || c == 0x7F) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> UnescapeField(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size() || !std::isxdigit(static_cast<unsigned char>(value[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            return std::nullopt;
        }
        out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::string Serialize(const Fields& fields) {
    std::ostringstream out;
    out << kHeader << "\n"
        << "Path=" << EscapeField(fields.path) << "\n"
        << "Arguments=" << EscapeField(fields.arguments) << "\n"
        << "WorkingDirectory=" << EscapeField(fields.workingDirectory) << "\n"
        << "Description=" << EscapeField(fields.description) << "\n"
        << "IconLocation=" << EscapeField(fields.iconPath) << "\n"
        << "IconIndex=" << fields.iconIndex << "\n"
        << "ShowCmd=" << fields.showCmd << "\n";
    return out.str();
}

bool ParseNumber(const std::string& text, int* value) {
    if (text.empty() || text.size() > 11) return false;
    std::size_t used = 0;
    try {
        long number = std::stol(text, &used, 10);
        if (used != text.size() || number < INT32_MIN || number > INT32_MAX) return false;
        *value = static_cast<int>(number);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Unknown keys are skipped so that a later version's shortcut still opens; a missing header,
// a line without "=" or a damaged value rejects the file.
std::optional<Fields> Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) return std::nullopt;
    Fields fields;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) return std::nullopt;
        std::string key = line.substr(0, equals);
        std::optional<std::string> value = UnescapeField(line.substr(equals + 1));
        if (!value) return std::nullopt;
        if (key == "Path") {
            fields.path = *value;
        } else if (key == "Arguments") {
            fields.arguments = *value;
        } else if (key == "WorkingDirectory") {
            fields.workingDirectory = *value;
        } else if (key == "Description") {
            fields.description = *value;
        } else if (key == "IconLocation") {
            fields.iconPath = *value;
        } else if (key == "IconIndex") {
            if (!ParseNumber(*value, &fields.iconIndex)) return std::nullopt;
        } else if (key == "ShowCmd") {
            if (!ParseNumber(*value, &fields.showCmd)) return std::nullopt;
        }
    }
    return fields;
}

bool EndsWithLnk(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    return tail == ".lnk";
}

std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

// ---------------------------------------------------------------------------------------------
// Desktop menu entries

std::optional<std::string> ApplicationsDir() {
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        data = std::string(home) + "/.local/share";
    } else {
        return std::nullopt;
    }
    return data + "/applications";
}

// The host path with its folder resolved, so that one shortcut always gives one name.
std::string Resolved(const std::string& hostPath) {
    std::error_code failed;
    fs::path path = fs::absolute(hostPath, failed);
    if (failed) return hostPath;
    fs::path parent = fs::weakly_canonical(path.parent_path(), failed);
    if (failed) return path.lexically_normal().string();
    return (parent / path.filename()).string();
}

std::string ResolvedMachine() {
    std::error_code failed;
    fs::path machine = fs::weakly_canonical(fs::absolute(platform::MachineDir(), failed), failed);
    return machine.string();
}

// Named by the machine and by the shortcut's place in it, so that two machines (or two
// shortcuts of one name in different folders) never share an entry.
std::optional<std::string> EntryStem(const std::string& hostPath) {
    std::string machine = ResolvedMachine();
    std::string shortcut = Resolved(hostPath);
    if (machine.empty() || shortcut.size() <= machine.size() + 1 ||
        shortcut.compare(0, machine.size(), machine) != 0 || shortcut[machine.size()] != '/') {
        return std::nullopt;
    }
    std::string inside = platform::Narrow(
        platform::kernel::FoldCase(platform::Widen(shortcut.substr(machine.size()))));
    char name[40];
    std::snprintf(name, sizeof name, "tessark-%08x-%08x", Fnv1a(machine), Fnv1a(inside));
    return std::string(name);
}

std::string ReadRegistryText(HKEY root, const char16_t* key, const char16_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
    std::vector<BYTE> data(2048);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size() - 2);
    LONG result = RegQueryValueExW(opened, name, nullptr, &type, data.data(), &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS || type != REG_SZ) return {};
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return platform::Narrow(text);
}

// True when `hostPath` lies inside the machine's all-users programs menu.
bool InProgramsMenu(const std::string& hostPath) {
    std::string menu =
        ReadRegistryText(HKEY_LOCAL_MACHINE,
                         u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         u"Common Programs");
    if (menu.empty()) return false;
    std::error_code failed;
    std::string folder =
        fs::weakly_canonical(fs::absolute(platform::MapPath(menu)), failed).string();
    if (failed || folder.empty()) return false;
    std::u16string inside = platform::kernel::FoldCase(platform::Widen(Resolved(hostPath)));
    std::u16string prefix = platform::kernel::FoldCase(platform::Widen(folder)) + u"/";
    return inside.size() > prefix.size() && inside.compare(0, prefix.size(), prefix) == 0;
}

// Splits a command line into arguments the way the platform's programs read theirs.
std::vector<std::string> SplitArguments(const std::string& line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
                    arg += line[i++];
                }
            }
        }
        args.push_back(arg);
    }
    return args;
}

// One argument of an Exec key: quoted when it holds a reserved character, with the field
// codes' "%" doubled.
std::string ExecArgument(const std::string& arg) {
    static const char* reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    if (arg.empty() || arg.find_first_of(reserved) != std::string::npos) {
        out += '"';
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    } else {
        out = arg;
    }
    std::string doubled;
    for (char c : out) {
        doubled += c;
        if (c == '%') doubled += '%';
    }
    return doubled;
}

// A string value of an entry: backslashes and line breaks escaped.
std::string EntryValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20) out += c;
        }
    }
    return out;
}

bool ValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = c < 0x80         ? 0
                            : (c >> 5) == 6  ? 1
                            : (c >> 4) == 14 ? 2
                            : (c >> 3) == 30 ? 3
                                             : 4;
        if (extra == 4 || i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".tessark-part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code failed;
    fs::rename(temporary, path, failed);
    if (failed) fs::remove(temporary, failed);
    return !failed;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::uintmax_t limit) {
    std::error_code failed;
    if (!fs::is_regular_file(path, failed) || fs::file_size(path, failed) > limit || failed) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) return std::nullopt;
    return bytes.str();
}

// --- PNG out of an icon ---------------------------------------------------------------------

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
    PutBig32(png, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    PutBig32(png, Crc32(body));
}

// An RGBA image as a PNG with stored (uncompressed) deflate blocks: icons are small, and
// this needs no compressor.
std::string PngFromRgba(int width, int height, const std::vector<BYTE>& rgba) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(rgba.data()) +
                       static_cast<std::size_t>(y) * width * 4,
                   static_cast<std::size_t>(width) * 4);
    }
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        std::size_t length = std::min<std::size_t>(65535, raw.size() - at);
        bool last = at + length >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(length & 0xFF);
        z += static_cast<char>(length >> 8);
        z += static_cast<char>(~length & 0xFF);
        z += static_cast<char>((~length >> 8) & 0xFF);
        z.append(raw, at, length);
        if (raw.empty()) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(z, (b << 16) | a);
    std::string header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5);
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", "");
    return png;
}

std::uint32_t Little32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
}

bool IsPng(const std::string& bytes) {
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

// The largest image of an icon file as a PNG: embedded PNG images as they are, 32-bit
// bitmaps converted. Other depths are not used by our icons and give no image.
std::optional<std::string> PngFromIcon(const std::string& ico) {
    if (ico.size() < 6 || ico[0] != 0 || ico[1] != 0 || ico[2] != 1 || ico[3] != 0) {
        return std::nullopt;
    }
    std::size_t count =
        static_cast<unsigned char>(ico[4]) | (static_cast<unsigned char>(ico[5]) << 8);
    if (6 + count * 16 > ico.size()) return std::nullopt;
    std::optional<std::string> best;
    int bestSize = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = 6 + i * 16;
        std::uint32_t bytes = Little32(ico, entry + 8);
        std::uint32_t offset = Little32(ico, entry + 12);
        if (offset > ico.size() || bytes > ico.size() - offset || bytes < 40) continue;
        std::string image = ico.substr(offset, bytes);
        int width = 0;
        std::string png;
        if (IsPng(image)) {
            if (image.size() < 24) continue;
            width = static_cast<int>(static_cast<unsigned char>(image[18]) << 8 |
                                     static_cast<unsigned char>(image[19]));
            png = image;
        } else {
            std::uint32_t headerSize = Little32(image, 0);
            auto w = static_cast<std::int32_t>(Little32(image, 4));
            auto h2 = static_cast<std::int32_t>(Little32(image, 8));
            int bits = static_cast<unsigned char>(image[14]) |
                       (static_cast<unsigned char>(image[15]) << 8);
            if (headerSize < 40 || bits != 32 || w <= 0 || w > 512 || h2 <= 0 || h2 / 2 != w)
                continue;
            std::size_t pixels = static_cast<std::size_t>(w) * w;
            if (headerSize + pixels * 4 > image.size()) continue;
            std::vector<BYTE> rgba(pixels * 4);
            for (int y = 0; y < w; ++y)
                for (int x = 0; x < w; ++x) {
                    // Bottom-up BGRA rows.
                    std::size_t from =
                        headerSize + (static_cast<std::size_t>(w - 1 - y) * w + x) * 4;
                    std::size_t to = (static_cast<std::size_t>(y) * w + x) * 4;
                    rgba[to] = static_cast<BYTE>(image[from + 2]);
                    rgba[to + 1] = static_cast<BYTE>(image[from + 1]);
                    rgba[to + 2] = static_cast<BYTE>(image[from]);
                    rgba[to + 3] = static_cast<BYTE>(image[from + 3]);
                }
            width = w;
            png = PngFromRgba(w, w, rgba);
        }
        if (width > bestSize) {
            bestSize = width;
            best = png;
        }
    }
    return best;
}

// The icon of a shortcut: its icon location when set, else an icon or PNG file beside the
// target with the target's name ("tessark.ico" for "tessark.exe").
std::optional<std::string> ShortcutIcon(const Fields& fields) {
    std::vector<std::string> candidates;
    if (!fields.iconPath.empty()) {
        candidates.push_back(platform::MapPath(fields.iconPath));
    } else {
        std::string target = platform::MapPath(fields.path);
        std::size_t dot = target.find_last_of('.');
        std::size_t slash = target.find_last_of('/');
        std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                               ? target.substr(0, dot)
                               : target;
        candidates = {stem + ".ico", stem + ".png"};
    }
    for (const std::string& path : candidates) {
        std::optional<std::string> bytes = ReadSmallFile(path, kMaxIconBytes);
        if (!bytes) continue;
        if (IsPng(*bytes)) return bytes;
        if (std::optional<std::string> png = PngFromIcon(*bytes)) return png;
    }
    return std::nullopt;
}

void RemoveEntryFiles(const std::string& applications, const std::string& stem) {
    std::error_code ignored;
    fs::remove(applications + "/" + stem + ".desktop", ignored);
    fs::remove(applications + "/" + stem + ".png", ignored);
}

// Writes (or replaces) the menu entry of a shortcut just saved at `hostPath`. A shortcut
// outside the programs menu, or one whose entry cannot be made, has none; the shortcut file
// itself stands either way.
void PublishEntry(const std::string& hostPath, const Fields& fields) {
    std::optional<std::string> applications = ApplicationsDir();
    std::optional<std::string> stem = EntryStem(hostPath);
    if (!applications || !stem || !EndsWithLnk(hostPath)) return;
    RemoveEntryFiles(*applications, *stem);
    if (!InProgramsMenu(hostPath) || fields.path.empty()) return;
    std::string target = platform::MapPath(fields.path);
    std::string machine = ResolvedMachine();
    std::string name = fs::path(hostPath).stem().string();
    if (target.empty() || target[0] != '/' || name.empty() || !ValidUtf8(name) ||
        !ValidUtf8(target) || !ValidUtf8(fields.arguments) || !ValidUtf8(fields.description)) {
        return;
    }
    std::string exec =
        "env " + ExecArgument("TESSARK_MACHINE=" + machine) + " " + ExecArgument(target);
    for (const std::string& arg : SplitArguments(fields.arguments))
        exec += " " + ExecArgument(arg);
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + EntryValue(name) + "\n";
    if (!fields.description.empty()) text += "Comment=" + EntryValue(fields.description) + "\n";
    text += "Exec=" + EntryValue(exec) + "\n";
    if (!fields.workingDirectory.empty()) {
        std::string dir = platform::MapPath(fields.workingDirectory);
        if (!dir.empty() && dir[0] == '/' && ValidUtf8(dir))
            text += "Path=" + EntryValue(dir) + "\n";
    }
    std::error_code failed;
    fs::create_directories(*applications, failed);
    if (failed) return;
    if (std::optional<std::string> png = ShortcutIcon(fields)) {
        std::string icon = *applications + "/" + *stem + ".png";
        if (WriteWhole(icon, *png)) text += "Icon=" + EntryValue(icon) + "\n";
    }
    text += "Terminal=false\nCategories=Game;\n";
    text += "X-Tessark-Machine=" + EntryValue(machine) + "\n";
    WriteWhole(*applications + "/" + *stem + ".desktop", text);
}

// ---------------------------------------------------------------------------------------------
// The object

HRESULT CopyOut(const std::string& value, LPSTR buffer, int size) {
    if (buffer == nullptr || size < 1) return E_INVALIDARG;
    std::size_t count = std::min(value.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return S_OK;
}

HRESULT FileError() {
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

class ShellLink final : public IShellLinkA, public IPersistFile {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) {
            *object = static_cast<IShellLinkA*>(this);
        } else if (iid == IID_IPersistFile || iid == IID_IPersist) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetPath(LPSTR file, int size, WIN32_FIND_DATAA*, DWORD) override {
        return CopyOut(fields_.path, file, size);
    }
    HRESULT SetPath(LPCSTR file) override { return Set(&fields_.path, file); }
    HRESULT GetDescription(LPSTR name, int size) override {
        return CopyOut(fields_.description, name, size);
    }
    HRESULT SetDescription(LPCSTR name) override { return Set(&fields_.description, name); }
    HRESULT GetWorkingDirectory(LPSTR dir, int size) override {
        return CopyOut(fields_.workingDirectory, dir, size);
    }
    HRESULT SetWorkingDirectory(LPCSTR dir) override { return Set(&fields_.workingDirectory, dir); }
    HRESULT GetArguments(LPSTR args, int size) override {
        return CopyOut(fields_.arguments, args, size);
    }
    HRESULT SetArguments(LPCSTR args) override { return Set(&fields_.arguments, args); }
    HRESULT GetShowCmd(int* showCmd) override {
        if (showCmd == nullptr) return E_INVALIDARG;
        *showCmd = fields_.showCmd;
        return S_OK;
    }
    HRESULT SetShowCmd(int showCmd) override {
        fields_.showCmd = showCmd;
        return S_OK;
    }
    HRESULT GetIconLocation(LPSTR iconPath, int size, int* index) override {
        if (index == nullptr) return E_INVALIDARG;
        HRESULT result = CopyOut(fields_.iconPath, iconPath, size);
        if (SUCCEEDED(result)) *index = fields_.iconIndex;
        return result;
    }
    HRESULT SetIconLocation(LPCSTR iconPath, int index) override {
        HRESULT result = Set(&fields_.iconPath, iconPath);
        if (SUCCEEDED(result)) fields_.iconIndex = index;
        return result;
    }

    HRESULT GetClassID(CLSID* classId) override {
        if (classId == nullptr) return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT IsDirty() override { return fields_ == saved_ ? S_FALSE : S_OK; }
    HRESULT Load(LPCOLESTR fileName, DWORD) override {
        if (fileName == nullptr || fileName[0] == 0) return E_INVALIDARG;
        std::string host = platform::MapPath(std::u16string_view(fileName));
        std::error_code failed;
        if (!fs::exists(host, failed)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        std::optional<std::string> bytes = ReadSmallFile(host, kMaxShortcutBytes);
        if (!bytes) return E_FAIL;
        std::optional<Fields> fields = Parse(*bytes);
        if (!fields) return E_FAIL;
        fields_ = *fields;
        saved_ = *fields;
        current_ = fileName;
        return S_OK;
    }
    HRESULT Save(LPCOLESTR fileName, BOOL remember) override {
        std::u16string name = fileName != nullptr ? std::u16string(fileName) : current_;
        if (name.empty()) return E_INVALIDARG;
        std::string text = Serialize(fields_);
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return FileError();
        DWORD written = 0;
        bool ok =
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
        HRESULT error = ok ? S_OK : FileError();
        CloseHandle(file);
        if (!ok) return error;
        PublishEntry(platform::MapPath(std::u16string_view(name)), fields_);
        if (fileName == nullptr || remember) {
            current_ = name;
            saved_ = fields_;
        }
        return S_OK;
    }
    HRESULT SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT GetCurFile(LPOLESTR* fileName) override {
        if (fileName == nullptr) return E_POINTER;
        std::size_t bytes = (current_.size() + 1) * sizeof(OLECHAR);
        auto* copy = static_cast<LPOLESTR>(LocalAlloc(0, bytes));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, current_.c_str(), bytes);
        *fileName = copy;
        return current_.empty() ? S_FALSE : S_OK;
    }

private:
    ~ShellLink() = default;

    static HRESULT Set(std::string* field, LPCSTR value) {
        if (value == nullptr) return E_INVALIDARG;
        *field = value;
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
    Fields fields_;
    Fields saved_;
    std::u16string current_;
};

} // namespace

namespace platform::shell {

void ForgetShortcut(const std::string& hostPath) {
    if (!EndsWithLnk(hostPath)) return;
    std::optional<std::string> applications = ApplicationsDir();
    std::optional<std::string> stem = EntryStem(hostPath);
    if (applications && stem) RemoveEntryFiles(*applications, *stem);
}

} // namespace platform::shell

HRESULT CoInitialize(LPVOID reserved) {
    if (reserved != nullptr) return E_INVALIDARG;
    return t_comDepth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_comDepth > 0) --t_comDepth;
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (t_comDepth == 0) return CO_E_NOTINITIALIZED;
    if (!(classId == CLSID_ShellLink)) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* link = new ShellLink;
    HRESULT result = link->QueryInterface(iid, object);
    link->Release();
    return result;
}
