#include "tools/rc/rc_compiler.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>

namespace tessark::rc {

namespace {

namespace fs = std::filesystem;

// Errors unwind to Compile(), which reports them; nothing leaves this file as an exception.
struct Failure {
    std::string message;
};

struct Location {
    std::string file;
    int line = 0;
};

[[noreturn]] void Fail(const Location& at, const std::string& message) {
    throw Failure{at.file + ":" + std::to_string(at.line) + ": " + message};
}

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = c < 0x80             ? 1
                          : (c & 0xE0) == 0xC0 ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 1;
        if (len == 1) {
            cp = c < 0x80 ? c : 0xFFFD;
        } else if (i + len <= s.size()) {
            cp = c & (0x7F >> len);
            for (std::size_t k = 1; k < len; ++k) {
                auto cc = static_cast<unsigned char>(s[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    len = 1;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
            static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
            if (len > 1 && (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
                cp = 0xFFFD; // overlong or not a character
                len = 1;
            }
        } else {
            len = 1;
        }
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
        }
        i += len;
    }
    return out;
}

std::string Upper(std::string s) {
    for (auto& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// ---- Tokens and the preprocessor ----------------------------------------------------------------

enum class Kind { Ident, Number, String, Punct, End };

struct Token {
    Kind kind = Kind::End;
    std::string text; // identifier, punctuation, or the raw UTF-8 of a string
    std::int64_t number = 0;
    Location at;
};

class Preprocessor {
public:
    explicit Preprocessor(std::vector<std::string> includeDirs)
        : includeDirs_(std::move(includeDirs)) {}

    void Run(const std::string& path, const Location* from) {
        if (++depth_ > 32) Fail(*from, "#include nested too deeply");
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            if (from == nullptr) throw Failure{path + ":0: cannot open the script"};
            Fail(*from, "cannot open \"" + path + "\"");
        }
        std::stringstream ss;
        ss << in.rdbuf();
        files_.push_back(path);
        std::string ext = Upper(fs::path(path).extension().string());
        bool headerOnly = ext == ".H" || ext == ".C" || ext == ".HPP";
        Lex(ss.str(), path, headerOnly);
        --depth_;
    }

    std::vector<Token>& tokens() { return tokens_; }
    const std::vector<std::string>& files() const { return files_; }
    // Where the script ends, for errors about what is missing at its end.
    const Location& end() const { return end_; }

private:
    struct Cond {
        bool active;   // this branch is taken
        bool taken;    // some branch of the group was taken
        bool parentOn; // the enclosing group is active
    };

    bool Active() const { return conds_.empty() || conds_.back().active; }

    void Lex(const std::string& src, const std::string& file, bool headerOnly) {
        std::size_t i = 0;
        int line = 1;
        bool lineStart = true;
        std::size_t condDepth = conds_.size();
        auto at = [&] { return Location{file, line}; };
        while (i < src.size()) {
            char c = src[i];
            if (c == '\n') {
                ++line;
                ++i;
                lineStart = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
                while (i < src.size() && src[i] != '\n')
                    ++i;
                continue;
            }
            if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
                Location start = at();
                i += 2;
                while (i + 1 < src.size() && !(src[i] == '*' && src[i + 1] == '/')) {
                    if (src[i] == '\n') ++line;
                    ++i;
                }
                if (i + 1 >= src.size()) Fail(start, "unterminated comment");
                i += 2;
                continue;
            }
            if (c == '#' && lineStart) {
                std::string directive;
                Location start = at();
                ++i;
                while (i < src.size() && src[i] != '\n') {
                    if (src[i] == '\\' && i + 1 < src.size() && src[i + 1] == '\n') {
                        i += 2;
                        ++line;
                        directive.push_back(' ');
                        continue;
                    }
                    if (src[i] == '/' && i + 1 < src.size() && src[i + 1] == '/') {
                        while (i < src.size() && src[i] != '\n')
                            ++i;
                        break;
                    }
                    directive.push_back(src[i++]);
                }
                Directive(directive, start, file);
                continue;
            }
            lineStart = false;
            Token t;
            t.at = at();
            if (c == '"' || ((c == 'L' || c == 'l') && i + 1 < src.size() && src[i + 1] == '"')) {
                if (c != '"') ++i;
                t.kind = Kind::String;
                t.text = ReadString(src, i, t.at);
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                t.kind = Kind::Number;
                std::size_t start = i;
                while (i < src.size() && (std::isalnum(static_cast<unsigned char>(src[i]))))
                    ++i;
                t.text = src.substr(start, i - start);
                t.number = ParseNumber(t.text, t.at);
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::size_t start = i;
                while (i < src.size() &&
                       (std::isalnum(static_cast<unsigned char>(src[i])) || src[i] == '_')) {
                    ++i;
                }
                t.kind = Kind::Ident;
                t.text = src.substr(start, i - start);
            } else if (c == '\'') {
                // Character constants appear in C headers; they are never resource syntax.
                ++i;
                while (i < src.size() && src[i] != '\'' && src[i] != '\n') {
                    if (src[i] == '\\') ++i;
                    ++i;
                }
                ++i;
                continue;
            } else {
                t.kind = Kind::Punct;
                t.text = std::string(1, c);
                ++i;
            }
            if (headerOnly || !Active()) continue;
            Emit(t, 0);
        }
        if (conds_.size() != condDepth) Fail(Location{file, line}, "missing #endif");
        if (depth_ == 1) end_ = Location{file, line};
    }

    static std::int64_t ParseNumber(const std::string& s, const Location& at) {
        std::string digits = s;
        while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                   digits.back() == 'U' || digits.back() == 'u')) {
            digits.pop_back();
        }
        int base = 10;
        std::size_t start = 0;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            start = 2;
        }
        if (start >= digits.size()) Fail(at, "bad number \"" + s + "\"");
        std::int64_t v = 0;
        for (std::size_t k = start; k < digits.size(); ++k) {
            int d = std::isdigit(static_cast<unsigned char>(digits[k])) ? digits[k] - '0'
                    : (base == 16 && std::isxdigit(static_cast<unsigned char>(digits[k])))
                        ? std::tolower(static_cast<unsigned char>(digits[k])) - 'a' + 10
                        : -1;
            if (d < 0) Fail(at, "bad number \"" + s + "\"");
            v = v * base + d;
            if (v > 0xFFFFFFFFLL) Fail(at, "number \"" + s + "\" does not fit 32 bits");
        }
        return v;
    }

    static std::string ReadString(const std::string& src, std::size_t& i, const Location& at) {
        std::string out;
        ++i; // opening quote
        for (;;) {
            if (i >= src.size() || src[i] == '\n') Fail(at, "unterminated string");
            char c = src[i++];
            if (c == '"') {
                if (i < src.size() && src[i] == '"') { // "" stands for one quote
                    out.push_back('"');
                    ++i;
                    continue;
                }
                return out;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (i >= src.size()) Fail(at, "unterminated string");
            char e = src[i++];
            switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 'a':
                out.push_back('\a');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case '"':
                out.push_back('"');
                break;
            case 'x':
            case 'X': {
                unsigned v = 0;
                int n = 0;
                while (i < src.size() && n < 4 &&
                       std::isxdigit(static_cast<unsigned char>(src[i]))) {
                    char h = static_cast<char>(std::tolower(static_cast<unsigned char>(src[i++])));
                    v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                           ? h - '0'
                                                           : h - 'a' + 10);
                    ++n;
                }
                if (n == 0) Fail(at, "bad \\x escape");
                AppendUtf8(out, v);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    for (int n = 1; n < 3 && i < src.size() && src[i] >= '0' && src[i] <= '7';
                         ++n) {
                        v = v * 8 + static_cast<unsigned>(src[i++] - '0');
                    }
                    AppendUtf8(out, v);
                } else {
                    Fail(at, std::string("unknown escape \\") + e);
                }
            }
        }
    }

    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    void Emit(const Token& t, int depth) {
        if (t.kind == Kind::Ident) {
            auto it = defines_.find(t.text);
            if (it != defines_.end() && depth < 32 && expanding_.count(t.text) == 0) {
                expanding_.insert(t.text);
                for (Token e : it->second) {
                    e.at = t.at;
                    Emit(e, depth + 1);
                }
                expanding_.erase(t.text);
                return;
            }
        }
        tokens_.push_back(t);
    }

    // Splits a directive's text into tokens (no macro expansion).
    std::vector<Token> Split(const std::string& text, const Location& at) {
        std::vector<Token> out;
        std::size_t i = 0;
        while (i < text.size()) {
            char c = text[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                auto end = text.find("*/", i + 2);
                i = end == std::string::npos ? text.size() : end + 2;
                continue;
            }
            Token t;
            t.at = at;
            if (c == '"') {
                t.kind = Kind::String;
                t.text = ReadString(text, i, at);
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                std::size_t start = i;
                while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i])))
                    ++i;
                t.kind = Kind::Number;
                t.text = text.substr(start, i - start);
                t.number = ParseNumber(t.text, at);
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::size_t start = i;
                while (i < text.size() &&
                       (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                    ++i;
                }
                t.kind = Kind::Ident;
                t.text = text.substr(start, i - start);
            } else {
                t.kind = Kind::Punct;
                // Two-character operators for #if.
                static const char* twos[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
                t.text = std::string(1, c);
                for (const char* two : twos) {
                    if (text.compare(i, 2, two) == 0) t.text = two;
                }
                i += t.text.size();
            }
            out.push_back(t);
        }
        return out;
    }

    void Directive(const std::string& text, const Location& at, const std::string& file) {
        std::size_t p = 0;
        while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p])))
            ++p;
        std::size_t q = p;
        while (q < text.size() && std::isalpha(static_cast<unsigned char>(text[q])))
            ++q;
        std::string name = text.substr(p, q - p);
        std::string rest = text.substr(q);
        if (name == "ifdef" || name == "ifndef" || name == "if") {
            bool parentOn = Active();
            bool value = false;
            if (parentOn) {
                if (name == "if") {
                    value = EvalIf(rest, at) != 0;
                } else {
                    auto toks = Split(rest, at);
                    if (toks.empty() || toks[0].kind != Kind::Ident) {
                        Fail(at, "#" + name + " needs a name");
                    }
                    value = defines_.count(toks[0].text) != 0;
                    if (name == "ifndef") value = !value;
                }
            }
            conds_.push_back(Cond{parentOn && value, value, parentOn});
            return;
        }
        if (name == "elif") {
            if (conds_.empty()) Fail(at, "#elif without #if");
            Cond& c = conds_.back();
            bool value = !c.taken && c.parentOn && EvalIf(rest, at) != 0;
            c.active = value;
            c.taken = c.taken || value;
            return;
        }
        if (name == "else") {
            if (conds_.empty()) Fail(at, "#else without #if");
            Cond& c = conds_.back();
            c.active = c.parentOn && !c.taken;
            c.taken = true;
            return;
        }
        if (name == "endif") {
            if (conds_.empty()) Fail(at, "#endif without #if");
            conds_.pop_back();
            return;
        }
        if (!Active()) return;
        if (name == "define") {
            auto toks = Split(rest, at);
            if (toks.empty() || toks[0].kind != Kind::Ident) Fail(at, "#define needs a name");
            std::string macro = toks[0].text;
            // Function-like macros never name resources; they are left out.
            std::size_t after = rest.find(macro) + macro.size();
            if (after < rest.size() && rest[after] == '(') return;
            defines_[macro] = std::vector<Token>(toks.begin() + 1, toks.end());
            return;
        }
        if (name == "undef") {
            auto toks = Split(rest, at);
            if (!toks.empty()) defines_.erase(toks[0].text);
            return;
        }
        if (name == "include") {
            std::size_t a = rest.find_first_of("\"<");
            if (a == std::string::npos) Fail(at, "#include needs a file name");
            char close = rest[a] == '"' ? '"' : '>';
            std::size_t b = rest.find(close, a + 1);
            if (b == std::string::npos) Fail(at, "#include needs a file name");
            std::string target = rest.substr(a + 1, b - a - 1);
            std::vector<fs::path> candidates;
            if (close == '"') candidates.push_back(fs::path(file).parent_path() / target);
            for (auto& d : includeDirs_)
                candidates.push_back(fs::path(d) / target);
            for (auto& c : candidates) {
                if (fs::is_regular_file(c)) {
                    Run(c.string(), &at);
                    return;
                }
            }
            // The platform's own headers (<windows.h>, <winres.h>...) are built in.
            if (close == '>') return;
            Fail(at, "cannot find \"" + target + "\"");
        }
        if (name == "pragma" || name == "error" || name == "line" || name.empty()) {
            if (name == "error") Fail(at, "#error" + rest);
            return;
        }
        Fail(at, "unknown directive #" + name);
    }

    // #if arithmetic over integers; unknown names count as 0, as in C.
    std::int64_t EvalIf(const std::string& text, const Location& at) {
        auto raw = Split(text, at);
        std::vector<Token> toks;
        for (std::size_t k = 0; k < raw.size(); ++k) {
            if (raw[k].kind == Kind::Ident && raw[k].text == "defined") {
                bool paren = k + 1 < raw.size() && raw[k + 1].text == "(";
                std::size_t n = k + (paren ? 2 : 1);
                if (n >= raw.size()) Fail(at, "defined needs a name");
                Token v;
                v.kind = Kind::Number;
                v.number = defines_.count(raw[n].text) ? 1 : 0;
                toks.push_back(v);
                k = n + (paren ? 1 : 0);
                continue;
            }
            toks.push_back(raw[k]);
        }
        // Expand macros once more, by value.
        std::vector<Token> expanded;
        for (auto& t : toks) {
            auto it = t.kind == Kind::Ident ? defines_.find(t.text) : defines_.end();
            if (it != defines_.end()) {
                expanded.insert(expanded.end(), it->second.begin(), it->second.end());
            } else {
                expanded.push_back(t);
            }
        }
        std::size_t pos = 0;
        std::int64_t v = IfExpr(expanded, pos, 0, at);
        if (pos != expanded.size()) Fail(at, "bad #if expression");
        return v;
    }

    static int Precedence(const std::string& op) {
        static const std::map<std::string, int> p{
            {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4},  {"&", 5},  {"==", 6},
            {"!=", 6}, {"<", 7},  {">", 7}, {"<=", 7}, {">=", 7}, {"<<", 8},
            {">>", 8}, {"+", 9},  {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
        auto it = p.find(op);
        return it == p.end() ? -1 : it->second;
    }

    std::int64_t IfPrimary(const std::vector<Token>& t, std::size_t& pos, const Location& at) {
        if (pos >= t.size()) Fail(at, "bad #if expression");
        const Token& k = t[pos++];
        if (k.kind == Kind::Number) return k.number;
        if (k.kind == Kind::Ident) return 0;
        if (k.text == "(") {
            auto v = IfExpr(t, pos, 0, at);
            if (pos >= t.size() || t[pos].text != ")") Fail(at, "missing ) in #if");
            ++pos;
            return v;
        }
        if (k.text == "!") return !IfPrimary(t, pos, at);
        if (k.text == "-") return -IfPrimary(t, pos, at);
        if (k.text == "~") return ~IfPrimary(t, pos, at);
        Fail(at, "bad #if expression");
    }

    std::int64_t IfExpr(const std::vector<Token>& t, std::size_t& pos, int minPrec,
                        const Location& at) {
        std::int64_t lhs = IfPrimary(t, pos, at);
        while (pos < t.size() && t[pos].kind == Kind::Punct) {
            std::string op = t[pos].text;
            int prec = Precedence(op);
            if (prec < 0 || prec < minPrec) break;
            ++pos;
            std::int64_t rhs = IfExpr(t, pos, prec + 1, at);
            if ((op == "/" || op == "%") && rhs == 0) Fail(at, "division by zero in #if");
            if (op == "||")
                lhs = lhs || rhs;
            else if (op == "&&")
                lhs = lhs && rhs;
            else if (op == "|")
                lhs |= rhs;
            else if (op == "^")
                lhs ^= rhs;
            else if (op == "&")
                lhs &= rhs;
            else if (op == "==")
                lhs = lhs == rhs;
            else if (op == "!=")
                lhs = lhs != rhs;
            else if (op == "<")
                lhs = lhs < rhs;
            else if (op == ">")
                lhs = lhs > rhs;
            else if (op == "<=")
                lhs = lhs <= rhs;
            else if (op == ">=")
                lhs = lhs >= rhs;
            else if (op == "<<")
                lhs <<= (rhs & 63);
            else if (op == ">>")
                lhs >>= (rhs & 63);
            else if (op == "+")
                lhs += rhs;
            else if (op == "-")
                lhs -= rhs;
            else if (op == "*")
                lhs *= rhs;
            else if (op == "/")
                lhs /= rhs;
            else
                lhs %= rhs;
        }
        return lhs;
    }

    std::vector<std::string> includeDirs_;
    std::map<std::string, std::vector<Token>> defines_;
    std::set<std::string> expanding_;
    std::vector<Cond> conds_;
    std::vector<Token> tokens_;
    std::vector<std::string> files_;
    int depth_ = 0;
    Location end_;
};

// ---- Constants the scripts may name -------------------------------------------------------------

const std::unordered_map<std::string, std::uint32_t>& Builtins() {
    static const std::unordered_map<std::string, std::uint32_t> table{
        {"WS_OVERLAPPED", 0x00000000},
        {"WS_POPUP", 0x80000000},
        {"WS_CHILD", 0x40000000},
        {"WS_MINIMIZE", 0x20000000},
        {"WS_VISIBLE", 0x10000000},
        {"WS_DISABLED", 0x08000000},
        {"WS_CLIPSIBLINGS", 0x04000000},
        {"WS_CLIPCHILDREN", 0x02000000},
        {"WS_MAXIMIZE", 0x01000000},
        {"WS_CAPTION", 0x00C00000},
        {"WS_BORDER", 0x00800000},
        {"WS_DLGFRAME", 0x00400000},
        {"WS_VSCROLL", 0x00200000},
        {"WS_HSCROLL", 0x00100000},
        {"WS_SYSMENU", 0x00080000},
        {"WS_THICKFRAME", 0x00040000},
        {"WS_GROUP", 0x00020000},
        {"WS_TABSTOP", 0x00010000},
        {"WS_MINIMIZEBOX", 0x00020000},
        {"WS_MAXIMIZEBOX", 0x00010000},
        {"WS_OVERLAPPEDWINDOW", 0x00CF0000},
        {"WS_POPUPWINDOW", 0x80880000},
        {"WS_EX_DLGMODALFRAME", 0x1},
        {"WS_EX_TOPMOST", 0x8},
        {"WS_EX_TRANSPARENT", 0x20},
        {"WS_EX_TOOLWINDOW", 0x80},
        {"WS_EX_WINDOWEDGE", 0x100},
        {"WS_EX_CLIENTEDGE", 0x200},
        {"WS_EX_CONTEXTHELP", 0x400},
        {"WS_EX_STATICEDGE", 0x20000},
        {"WS_EX_APPWINDOW", 0x40000},
        {"WS_EX_CONTROLPARENT", 0x10000},
        {"DS_ABSALIGN", 0x1},
        {"DS_SYSMODAL", 0x2},
        {"DS_3DLOOK", 0x4},
        {"DS_FIXEDSYS", 0x8},
        {"DS_NOFAILCREATE", 0x10},
        {"DS_LOCALEDIT", 0x20},
        {"DS_SETFONT", 0x40},
        {"DS_MODALFRAME", 0x80},
        {"DS_NOIDLEMSG", 0x100},
        {"DS_SETFOREGROUND", 0x200},
        {"DS_CONTROL", 0x400},
        {"DS_CENTER", 0x800},
        {"DS_CENTERMOUSE", 0x1000},
        {"DS_CONTEXTHELP", 0x2000},
        {"DS_SHELLFONT", 0x48},
        {"BS_PUSHBUTTON", 0x0},
        {"BS_DEFPUSHBUTTON", 0x1},
        {"BS_CHECKBOX", 0x2},
        {"BS_AUTOCHECKBOX", 0x3},
        {"BS_RADIOBUTTON", 0x4},
        {"BS_3STATE", 0x5},
        {"BS_AUTO3STATE", 0x6},
        {"BS_GROUPBOX", 0x7},
        {"BS_USERBUTTON", 0x8},
        {"BS_AUTORADIOBUTTON", 0x9},
        {"BS_OWNERDRAW", 0xB},
        {"BS_LEFTTEXT", 0x20},
        {"BS_TEXT", 0x0},
        {"BS_ICON", 0x40},
        {"BS_BITMAP", 0x80},
        {"BS_LEFT", 0x100},
        {"BS_RIGHT", 0x200},
        {"BS_CENTER", 0x300},
        {"BS_TOP", 0x400},
        {"BS_BOTTOM", 0x800},
        {"BS_VCENTER", 0xC00},
        {"BS_PUSHLIKE", 0x1000},
        {"BS_MULTILINE", 0x2000},
        {"BS_NOTIFY", 0x4000},
        {"BS_FLAT", 0x8000},
        {"SS_LEFT", 0x0},
        {"SS_CENTER", 0x1},
        {"SS_RIGHT", 0x2},
        {"SS_ICON", 0x3},
        {"SS_BLACKRECT", 0x4},
        {"SS_GRAYRECT", 0x5},
        {"SS_WHITERECT", 0x6},
        {"SS_BLACKFRAME", 0x7},
        {"SS_GRAYFRAME", 0x8},
        {"SS_WHITEFRAME", 0x9},
        {"SS_USERITEM", 0xA},
        {"SS_SIMPLE", 0xB},
        {"SS_LEFTNOWORDWRAP", 0xC},
        {"SS_OWNERDRAW", 0xD},
        {"SS_BITMAP", 0xE},
        {"SS_ETCHEDHORZ", 0x10},
        {"SS_ETCHEDVERT", 0x11},
        {"SS_ETCHEDFRAME", 0x12},
        {"SS_NOPREFIX", 0x80},
        {"SS_NOTIFY", 0x100},
        {"SS_CENTERIMAGE", 0x200},
        {"SS_RIGHTJUST", 0x400},
        {"SS_SUNKEN", 0x1000},
        {"ES_LEFT", 0x0},
        {"ES_CENTER", 0x1},
        {"ES_RIGHT", 0x2},
        {"ES_MULTILINE", 0x4},
        {"ES_UPPERCASE", 0x8},
        {"ES_LOWERCASE", 0x10},
        {"ES_PASSWORD", 0x20},
        {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80},
        {"ES_NOHIDESEL", 0x100},
        {"ES_READONLY", 0x800},
        {"ES_WANTRETURN", 0x1000},
        {"ES_NUMBER", 0x2000},
        {"SBS_HORZ", 0x0},
        {"SBS_VERT", 0x1},
        {"LBS_NOTIFY", 0x1},
        {"LBS_SORT", 0x2},
        {"LBS_NOINTEGRALHEIGHT", 0x100},
        {"CBS_SIMPLE", 0x1},
        {"CBS_DROPDOWN", 0x2},
        {"CBS_DROPDOWNLIST", 0x3},
        {"PBS_SMOOTH", 0x1},
        {"PBS_VERTICAL", 0x4},
        {"IDOK", 1},
        {"IDCANCEL", 2},
        {"IDABORT", 3},
        {"IDRETRY", 4},
        {"IDIGNORE", 5},
        {"IDYES", 6},
        {"IDNO", 7},
        {"IDC_STATIC", 0xFFFFFFFF},
        // Virtual keys, for accelerator tables.
        {"VK_BACK", 0x08},
        {"VK_TAB", 0x09},
        {"VK_RETURN", 0x0D},
        {"VK_SHIFT", 0x10},
        {"VK_CONTROL", 0x11},
        {"VK_MENU", 0x12},
        {"VK_ESCAPE", 0x1B},
        {"VK_SPACE", 0x20},
        {"VK_PRIOR", 0x21},
        {"VK_NEXT", 0x22},
        {"VK_END", 0x23},
        {"VK_HOME", 0x24},
        {"VK_LEFT", 0x25},
        {"VK_UP", 0x26},
        {"VK_RIGHT", 0x27},
        {"VK_DOWN", 0x28},
        {"VK_INSERT", 0x2D},
        {"VK_DELETE", 0x2E},
        {"VK_F1", 0x70},
        {"VK_F2", 0x71},
        {"VK_F3", 0x72},
        {"VK_F4", 0x73},
        {"VK_F5", 0x74},
        {"VK_F6", 0x75},
        {"VK_F7", 0x76},
        {"VK_F8", 0x77},
        {"VK_F9", 0x78},
        {"VK_F10", 0x79},
        {"VK_F11", 0x7A},
        {"VK_F12", 0x7B},
    };
    return table;
}

// ---- Resources being built --------------------------------------------------------------------

struct Id {
    bool named = false;
    std::u16string name; // upper case
    std::uint32_t number = 0;
    std::string Describe() const {
        if (!named) return std::to_string(number);
        std::string s;
        for (char16_t c : name)
            s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return "\"" + s + "\"";
    }
    bool operator<(const Id& o) const {
        return std::tie(named, name, number) < std::tie(o.named, o.name, o.number);
    }
};

struct Resource {
    Id type;
    Id name;
    std::vector<std::uint8_t> data;
    std::uint16_t present = 0;
};

struct Bytes {
    std::vector<std::uint8_t> v;
    void U8(std::uint32_t x) { v.push_back(static_cast<std::uint8_t>(x)); }
    void U16(std::uint32_t x) {
        U8(x & 0xFF);
        U8((x >> 8) & 0xFF);
    }
    void U32(std::uint32_t x) {
        U16(x & 0xFFFF);
        U16(x >> 16);
    }
    void Str(const std::u16string& s) {
        for (char16_t c : s)
            U16(c);
        U16(0);
    }
    void Align4() {
        while (v.size() % 4 != 0)
            U8(0);
    }
};

struct Control {
    std::uint32_t helpId = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int64_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t id = 0;
    std::uint16_t classAtom = 0;
    std::u16string className;
    bool titleIsId = false;
    std::uint16_t titleId = 0;
    std::u16string title;
};

struct ControlKind {
    const char* keyword;
    bool hasText;
    std::uint16_t atom;
    std::uint32_t style;
};

constexpr std::uint32_t kTab = 0x00010000, kGroup = 0x00020000, kBorder = 0x00800000;
const ControlKind kControls[] = {
    {"LTEXT", true, 0x82, 0x0 | kGroup},         {"CTEXT", true, 0x82, 0x1 | kGroup},
    {"RTEXT", true, 0x82, 0x2 | kGroup},         {"PUSHBUTTON", true, 0x80, 0x0 | kTab},
    {"DEFPUSHBUTTON", true, 0x80, 0x1 | kTab},   {"PUSHBOX", true, 0x80, 0xA | kTab},
    {"CHECKBOX", true, 0x80, 0x2 | kTab},        {"AUTOCHECKBOX", true, 0x80, 0x3 | kTab},
    {"RADIOBUTTON", true, 0x80, 0x4 | kTab},     {"STATE3", true, 0x80, 0x5 | kTab},
    {"AUTO3STATE", true, 0x80, 0x6 | kTab},      {"GROUPBOX", true, 0x80, 0x7},
    {"AUTORADIOBUTTON", true, 0x80, 0x9 | kTab}, {"EDITTEXT", false, 0x81, 0x0 | kBorder | kTab},
    {"LISTBOX", false, 0x83, 0x1 | kBorder},     {"SCROLLBAR", false, 0x84, 0x0},
    {"COMBOBOX", false, 0x85, 0x1 | kTab},
};

constexpr std::uint32_t kChildVisible = 0x50000000;

class Parser {
public:
    Parser(std::vector<Token>& tokens, const Location& scriptEnd, const std::string& scriptDir,
           const std::vector<std::string>& includeDirs, std::vector<std::string>* files)
        : t_(tokens), scriptDir_(scriptDir), includeDirs_(includeDirs), files_(files) {
        Token end;
        end.kind = Kind::End;
        end.at = scriptEnd;
        t_.push_back(end);
    }

    std::vector<Resource> Parse() {
        while (Peek().kind != Kind::End)
            Statement();
        for (auto& [block, r] : strings_)
            resources_.push_back(r);
        return std::move(resources_);
    }

private:
    const Token& Peek(std::size_t ahead = 0) const {
        return t_[std::min(pos_ + ahead, t_.size() - 1)];
    }
    const Token& Next() {
        const Token& t = t_[pos_];
        if (pos_ + 1 < t_.size()) ++pos_;
        return t;
    }
    bool IsWord(const Token& t, const char* word) const {
        return t.kind == Kind::Ident && Upper(t.text) == word;
    }
    bool IsPunct(const Token& t, const char* p) const {
        return t.kind == Kind::Punct && t.text == p;
    }
    bool IsBegin(const Token& t) const { return IsWord(t, "BEGIN") || IsPunct(t, "{"); }
    bool IsEnd(const Token& t) const { return IsWord(t, "END") || IsPunct(t, "}"); }
    std::string Show(const Token& t) const {
        switch (t.kind) {
        case Kind::End:
            return "the end of the script";
        case Kind::String:
            return "\"" + t.text + "\"";
        default:
            return "\"" + t.text + "\"";
        }
    }
    void Expect(const char* punct) {
        if (!IsPunct(Peek(), punct)) {
            Fail(Peek().at, std::string("expected '") + punct + "' but found " + Show(Peek()));
        }
        Next();
    }
    bool Accept(const char* punct) {
        if (!IsPunct(Peek(), punct)) return false;
        Next();
        return true;
    }

    // ---- Expressions --------------------------------------------------------------------------
    std::int64_t Primary() {
        const Token& t = Next();
        if (t.kind == Kind::Number) return t.number;
        if (t.kind == Kind::Ident) {
            auto& b = Builtins();
            auto it = b.find(Upper(t.text));
            if (it == b.end()) Fail(t.at, "unknown name \"" + t.text + "\"");
            return it->second == 0xFFFFFFFF ? -1 : it->second;
        }
        if (IsPunct(t, "(")) {
            auto v = Expr();
            Expect(")");
            return v;
        }
        if (IsPunct(t, "-")) return -Primary();
        if (IsPunct(t, "~")) return ~Primary();
        if (IsPunct(t, "+")) return Primary();
        Fail(t.at, "expected a number but found " + Show(t));
    }
    std::int64_t Expr() {
        std::int64_t v = Primary();
        for (;;) {
            if (Accept("|")) {
                v |= Primary();
            } else if (Accept("+")) {
                v += Primary();
            } else if (Accept("-")) {
                v -= Primary();
            } else if (Accept("&")) {
                v &= Primary();
            } else if (Accept("*")) {
                v *= Primary();
            } else {
                return v;
            }
        }
    }
    // A style: bits to set and, after NOT, bits to clear from the defaults.
    void Style(std::uint32_t* style) {
        std::uint32_t set = 0, clear = 0;
        for (;;) {
            if (IsWord(Peek(), "NOT")) {
                Next();
                clear |= static_cast<std::uint32_t>(Primary());
            } else {
                set |= static_cast<std::uint32_t>(Primary());
            }
            if (!Accept("|") && !Accept("+")) break;
        }
        *style = (*style | set) & ~clear;
    }
    std::int16_t Coord() {
        const Location at = Peek().at;
        auto v = Expr();
        if (v < -32768 || v > 32767) Fail(at, "coordinate " + std::to_string(v) + " out of range");
        return static_cast<std::int16_t>(v);
    }
    std::u16string StringToken(const char* what) {
        const Token& t = Next();
        if (t.kind != Kind::String)
            Fail(t.at, std::string("expected ") + what + " but found " + Show(t));
        return Utf16(t.text);
    }

    // A resource name or type: a number, a quoted name or a bare word.
    Id Name() {
        const Token& t = Peek();
        Id id;
        if (t.kind == Kind::String || t.kind == Kind::Ident) {
            Next();
            id.named = true;
            id.name = Utf16(Upper(t.text));
            return id;
        }
        const Location at = t.at;
        auto v = Expr();
        if (v < 0 || v > 0xFFFF) Fail(at, "resource id " + std::to_string(v) + " out of range");
        id.number = static_cast<std::uint32_t>(v);
        return id;
    }

    void SkipMemoryOptions() {
        static const char* words[] = {"PRELOAD", "LOADONCALL", "MOVEABLE", "DISCARDABLE", "PURE",
                                      "IMPURE",  "FIXED",      "SHARED",   "NONSHARED"};
        for (;;) {
            bool any = false;
            for (const char* w : words) {
                if (IsWord(Peek(), w)) {
                    Next();
                    any = true;
                }
            }
            if (!any) return;
        }
    }

    // ---- Statements -------------------------------------------------------------------------
    void Statement() {
        const Token& first = Peek();
        if (IsWord(first, "LANGUAGE")) {
            Next();
            Expr();
            Expect(",");
            Expr();
            return;
        }
        if (IsWord(first, "STRINGTABLE")) {
            Next();
            StringTable();
            return;
        }
        const Location at = first.at;
        Id name = Name();
        const Token& kind = Next();
        std::string word = kind.kind == Kind::Ident ? Upper(kind.text) : "";
        if (word == "DIALOG" || word == "DIALOGEX") {
            Add(at, Numeric(5), name, Dialog(word == "DIALOGEX"));
            return;
        }
        if (word == "ICON") {
            Icon(at, name);
            return;
        }
        if (word == "CURSOR") {
            Cursor(at, name);
            return;
        }
        if (word == "ACCELERATORS") {
            Accelerators(at, name);
            return;
        }
        if (word == "MENU" || word == "MENUEX" || word == "VERSIONINFO" || word == "FONT" ||
            word == "MESSAGETABLE" || word == "TEXTINCLUDE" || word == "DLGINCLUDE") {
            Fail(kind.at, word + " resources are not supported");
        }
        Id type;
        if (word == "BITMAP") {
            type = Numeric(2);
        } else if (word == "RCDATA") {
            type = Numeric(10);
        } else if (kind.kind == Kind::Number) {
            if (kind.number > 0xFFFF) Fail(kind.at, "resource type out of range");
            type = Numeric(static_cast<std::uint32_t>(kind.number));
        } else if (kind.kind == Kind::Ident || kind.kind == Kind::String) {
            type.named = true;
            type.name = Utf16(Upper(kind.text));
        } else {
            Fail(kind.at, "expected a resource type but found " + Show(kind));
        }
        SkipMemoryOptions();
        if (IsBegin(Peek())) Fail(Peek().at, "inline resource data is not supported; use a file");
        const Token& file = Next();
        if (file.kind != Kind::String) {
            Fail(file.at, "expected a file name but found " + Show(file));
        }
        std::vector<std::uint8_t> data = ReadFile(file.text, file.at);
        if (word == "BITMAP") {
            // The resource is the bitmap without its 14-byte file header.
            if (data.size() < 14 || data[0] != 'B' || data[1] != 'M') {
                Fail(file.at, "\"" + file.text + "\" is not a BMP file");
            }
            data.erase(data.begin(), data.begin() + 14);
        }
        Add(at, type, name, std::move(data));
    }

    static Id Numeric(std::uint32_t n) {
        Id id;
        id.number = n;
        return id;
    }

    void Add(const Location& at, const Id& type, const Id& name, std::vector<std::uint8_t> data) {
        auto key = std::make_pair(type, name);
        if (!seen_.insert(key).second) {
            Fail(at, "duplicate resource " + name.Describe() + " of type " + type.Describe());
        }
        resources_.push_back(Resource{type, name, std::move(data), 0});
    }

    std::vector<std::uint8_t> ReadFile(const std::string& name, const Location& at) {
        std::vector<fs::path> candidates{fs::path(scriptDir_) / name};
        for (auto& d : includeDirs_)
            candidates.push_back(fs::path(d) / name);
        if (fs::path(name).is_absolute()) candidates.insert(candidates.begin(), fs::path(name));
        for (auto& p : candidates) {
            if (!fs::is_regular_file(p)) continue;
            std::ifstream in(p, std::ios::binary);
            if (!in) continue;
            files_->push_back(p.string());
            return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
        }
        Fail(at, "cannot open \"" + name + "\"");
    }

    // Skips a table's memory options and LANGUAGE, CHARACTERISTICS and VERSION lines up to and
    // including its BEGIN.
    void SkipToBlock() {
        SkipMemoryOptions();
        while (!IsBegin(Peek())) {
            if (IsWord(Peek(), "LANGUAGE")) {
                Next();
                Expr();
                Expect(",");
                Expr();
            } else if (IsWord(Peek(), "CHARACTERISTICS") || IsWord(Peek(), "VERSION")) {
                Next();
                Expr();
            } else {
                Fail(Peek().at, "expected BEGIN but found " + Show(Peek()));
            }
        }
        Next();
    }

    void StringTable() {
        SkipToBlock();
        while (!IsEnd(Peek())) {
            if (Peek().kind == Kind::End) Fail(Peek().at, "STRINGTABLE without END");
            const Location at = Peek().at;
            auto id = Expr();
            if (id < 0 || id > 0xFFFF)
                Fail(at, "string id " + std::to_string(id) + " out of range");
            Accept(",");
            std::u16string text = StringToken("a string");
            while (Peek().kind == Kind::String)
                text += Utf16(Next().text);
            if (text.size() > 0xFFFF) Fail(at, "string too long");
            auto n = static_cast<std::uint32_t>(id);
            if (!strings16_.emplace(n, text).second) {
                Fail(at, "duplicate string id " + std::to_string(n));
            }
        }
        Next();
        RebuildStrings();
    }

    void RebuildStrings() {
        strings_.clear();
        std::map<std::uint32_t, std::map<std::uint32_t, std::u16string>> blocks;
        for (auto& [id, text] : strings16_)
            blocks[(id >> 4) + 1][id & 15] = text;
        for (auto& [block, entries] : blocks) {
            Bytes b;
            std::uint16_t present = 0;
            for (std::uint32_t i = 0; i < 16; ++i) {
                auto it = entries.find(i);
                if (it == entries.end()) {
                    b.U16(0);
                    continue;
                }
                present = static_cast<std::uint16_t>(present | (1u << i));
                b.U16(static_cast<std::uint32_t>(it->second.size()));
                for (char16_t c : it->second)
                    b.U16(c);
            }
            Resource r{Numeric(6), Numeric(block), std::move(b.v), present};
            strings_[block] = std::move(r);
        }
    }

    std::vector<std::uint8_t> Dialog(bool extended) {
        SkipMemoryOptions();
        std::int16_t x = Coord();
        Expect(",");
        std::int16_t y = Coord();
        Expect(",");
        std::int16_t cx = Coord();
        Expect(",");
        std::int16_t cy = Coord();
        std::uint32_t helpId = 0;
        if (extended && Accept(",")) helpId = static_cast<std::uint32_t>(Expr());

        std::uint32_t style = 0x80880000; // WS_POPUP | WS_BORDER | WS_SYSMENU
        std::uint32_t exStyle = 0;
        bool styled = false, captioned = false, font = false;
        std::u16string caption, face, className, menuName;
        std::uint16_t classId = 0, menuId = 0;
        std::uint32_t pointSize = 0, weight = 0, italic = 0, charset = 1;
        while (!IsBegin(Peek())) {
            const Token& opt = Next();
            std::string w = opt.kind == Kind::Ident ? Upper(opt.text) : "";
            if (w == "STYLE") {
                std::uint32_t s = 0;
                Style(&s);
                style = s;
                styled = true;
            } else if (w == "EXSTYLE") {
                Style(&exStyle);
            } else if (w == "CAPTION") {
                caption = StringToken("a caption");
                captioned = true;
            } else if (w == "FONT") {
                pointSize = static_cast<std::uint32_t>(Expr());
                Expect(",");
                face = StringToken("a font name");
                if (extended && Accept(",")) {
                    weight = static_cast<std::uint32_t>(Expr());
                    if (Accept(",")) italic = static_cast<std::uint32_t>(Expr());
                    if (Accept(",")) charset = static_cast<std::uint32_t>(Expr());
                }
                font = true;
            } else if (w == "CLASS") {
                if (Peek().kind == Kind::String) {
                    className = StringToken("a class name");
                } else {
                    classId = static_cast<std::uint16_t>(Expr());
                }
            } else if (w == "MENU") {
                Id m = Name();
                if (m.named) {
                    menuName = m.name;
                } else {
                    menuId = static_cast<std::uint16_t>(m.number);
                }
            } else if (w == "LANGUAGE") {
                Expr();
                Expect(",");
                Expr();
            } else if (w == "CHARACTERISTICS" || w == "VERSION") {
                Expr();
            } else {
                Fail(opt.at, "expected a dialog option or BEGIN but found " + Show(opt));
            }
        }
        Next();
        (void)styled;
        if (captioned) style |= 0x00C00000;
        if (font) style |= 0x40;

        std::vector<Control> controls;
        while (!IsEnd(Peek())) {
            if (Peek().kind == Kind::End) Fail(Peek().at, "dialog without END");
            controls.push_back(ControlStatement(extended));
        }
        Next();
        if (controls.size() > 0xFFFF) Fail(Peek().at, "too many controls");

        Bytes b;
        auto sz = [&](std::uint16_t id, const std::u16string& s) {
            if (!s.empty()) {
                b.Str(s);
            } else if (id != 0) {
                b.U16(0xFFFF);
                b.U16(id);
            } else {
                b.U16(0);
            }
        };
        if (extended) {
            b.U16(1);
            b.U16(0xFFFF);
            b.U32(helpId);
            b.U32(exStyle);
            b.U32(style);
        } else {
            b.U32(style);
            b.U32(exStyle);
        }
        b.U16(static_cast<std::uint32_t>(controls.size()));
        for (auto v : {x, y, cx, cy})
            b.U16(static_cast<std::uint16_t>(v));
        sz(menuId, menuName);
        sz(classId, className);
        b.Str(caption);
        if (style & 0x40) { // DS_SETFONT: the font follows the title
            b.U16(pointSize);
            if (extended) {
                b.U16(weight);
                b.U8(italic);
                b.U8(charset);
            }
            b.Str(face);
        }
        for (const Control& c : controls) {
            b.Align4();
            if (extended) {
                b.U32(c.helpId);
                b.U32(c.exStyle);
                b.U32(c.style);
            } else {
                b.U32(c.style);
                b.U32(c.exStyle);
            }
            for (auto v : {c.x, c.y, c.cx, c.cy})
                b.U16(static_cast<std::uint16_t>(v));
            if (extended) {
                b.U32(c.id);
            } else {
                b.U16(c.id & 0xFFFF);
            }
            if (c.classAtom != 0) {
                b.U16(0xFFFF);
                b.U16(c.classAtom);
            } else {
                b.Str(c.className);
            }
            if (c.titleIsId) {
                b.U16(0xFFFF);
                b.U16(c.titleId);
            } else {
                b.Str(c.title);
            }
            b.U16(0); // no creation data
        }
        return std::move(b.v);
    }

    void ControlText(Control* c) {
        if (Peek().kind == Kind::String) {
            c->title = StringToken("a control text");
            return;
        }
        auto v = Expr();
        c->titleIsId = true;
        c->titleId = static_cast<std::uint16_t>(v);
    }

    std::uint32_t ControlId() {
        auto v = Expr();
        return static_cast<std::uint32_t>(v);
    }

    void Tail(Control* c, bool extended) {
        if (Accept(",")) {
            Style(&c->style);
            if (Accept(",")) {
                Style(&c->exStyle);
                if (extended && Accept(",")) c->helpId = static_cast<std::uint32_t>(Expr());
            }
        }
    }

    static std::uint16_t AtomOf(const std::string& name) {
        static const std::map<std::string, std::uint16_t> atoms{
            {"BUTTON", 0x80},  {"EDIT", 0x81},      {"STATIC", 0x82},
            {"LISTBOX", 0x83}, {"SCROLLBAR", 0x84}, {"COMBOBOX", 0x85}};
        auto it = atoms.find(Upper(name));
        return it == atoms.end() ? 0 : it->second;
    }

    Control ControlStatement(bool extended) {
        const Token& kw = Next();
        std::string word = kw.kind == Kind::Ident ? Upper(kw.text) : "";
        Control c;
        if (word == "CONTROL") {
            ControlText(&c);
            Expect(",");
            c.id = ControlId();
            Expect(",");
            const Token& cls = Next();
            if (cls.kind == Kind::String || cls.kind == Kind::Ident) {
                c.classAtom = AtomOf(cls.text);
                if (c.classAtom == 0) c.className = Utf16(cls.text);
            } else {
                Fail(cls.at, "expected a class name but found " + Show(cls));
            }
            Expect(",");
            c.style = kChildVisible;
            Style(&c.style);
            Expect(",");
            c.x = Coord();
            Expect(",");
            c.y = Coord();
            Expect(",");
            c.cx = Coord();
            Expect(",");
            c.cy = Coord();
            if (Accept(",")) {
                Style(&c.exStyle);
                if (extended && Accept(",")) c.helpId = static_cast<std::uint32_t>(Expr());
            }
            return c;
        }
        if (word == "ICON") {
            ControlText(&c);
            Expect(",");
            c.id = ControlId();
            Expect(",");
            c.x = Coord();
            Expect(",");
            c.y = Coord();
            c.classAtom = 0x82;
            c.style = kChildVisible | 0x3; // SS_ICON
            if (Accept(",")) {
                c.cx = Coord();
                Expect(",");
                c.cy = Coord();
                Tail(&c, extended);
            }
            return c;
        }
        for (const ControlKind& k : kControls) {
            if (word != k.keyword) continue;
            if (k.hasText) {
                ControlText(&c);
                Expect(",");
            }
            c.id = ControlId();
            Expect(",");
            c.x = Coord();
            Expect(",");
            c.y = Coord();
            Expect(",");
            c.cx = Coord();
            Expect(",");
            c.cy = Coord();
            c.classAtom = k.atom;
            c.style = kChildVisible | k.style;
            Tail(&c, extended);
            return c;
        }
        Fail(kw.at, "unknown control " + Show(kw));
    }

    // An icon (type 1) or cursor (type 2) file with its header and directory checked and every
    // image inside the file.
    struct ImageFile {
        std::vector<std::uint8_t> bytes;
        std::uint32_t count = 0;
        std::uint32_t U16(std::size_t o) const {
            return static_cast<std::uint32_t>(bytes[o] | bytes[o + 1] << 8);
        }
        std::uint32_t U32(std::size_t o) const { return U16(o) | U16(o + 2) << 16; }
        static std::size_t Entry(std::uint32_t i) { return 6 + std::size_t{i} * 16; }
        std::uint32_t Size(std::uint32_t i) const { return U32(Entry(i) + 8); }
        std::uint32_t Offset(std::uint32_t i) const { return U32(Entry(i) + 12); }
    };

    ImageFile ReadImageFile(std::uint32_t type, const std::string& aKind,
                            std::uint32_t smallestImage) {
        SkipMemoryOptions();
        const Token& file = Next();
        if (file.kind != Kind::String)
            Fail(file.at, "expected a file name but found " + Show(file));
        ImageFile f{ReadFile(file.text, file.at)};
        if (f.bytes.size() < 6 || f.U16(0) != 0 || f.U16(2) != type || f.U16(4) == 0) {
            Fail(file.at, "\"" + file.text + "\" is not " + aKind + " file");
        }
        f.count = f.U16(4);
        if (f.bytes.size() < ImageFile::Entry(f.count)) {
            Fail(file.at, "\"" + file.text + "\" is cut short");
        }
        for (std::uint32_t i = 0; i < f.count; ++i) {
            std::uint32_t size = f.Size(i), offset = f.Offset(i);
            if (offset > f.bytes.size() || size > f.bytes.size() - offset || size < smallestImage) {
                Fail(file.at, "\"" + file.text + "\" has an image outside the file");
            }
        }
        return f;
    }

    void Icon(const Location& at, const Id& name) {
        ImageFile ico = ReadImageFile(1, "an icon", 1);
        Bytes group;
        group.U16(0);
        group.U16(1);
        group.U16(ico.count);
        for (std::uint32_t i = 0; i < ico.count; ++i) {
            std::size_t e = ImageFile::Entry(i);
            std::uint32_t size = ico.Size(i), offset = ico.Offset(i);
            std::uint32_t id = nextIcon_++;
            if (id > 0xFFFF) Fail(at, "too many icon images");
            for (std::size_t k = 0; k < 8; ++k)
                group.U8(ico.bytes[e + k]);
            group.U32(size);
            group.U16(id);
            Add(at, Numeric(3), Numeric(id),
                std::vector<std::uint8_t>(ico.bytes.begin() + offset,
                                          ico.bytes.begin() + offset + size));
        }
        Add(at, Numeric(14), name, std::move(group.v));
    }

    // A cursor file becomes one cursor resource per image (its hot spot, then the image) and a
    // group cursor that lists them; the group gives each image's width, its doubled height (as
    // the image header counts the mask rows too), its bit count and its size with the hot spot.
    void Cursor(const Location& at, const Id& name) {
        ImageFile cur = ReadImageFile(2, "a cursor", 16);
        Bytes group;
        group.U16(0);
        group.U16(2);
        group.U16(cur.count);
        for (std::uint32_t i = 0; i < cur.count; ++i) {
            std::size_t e = ImageFile::Entry(i);
            std::uint32_t size = cur.Size(i), offset = cur.Offset(i);
            std::uint32_t id = nextCursor_++;
            if (id > 0xFFFF) Fail(at, "too many cursor images");
            const std::uint32_t width = cur.bytes[e] == 0 ? 256 : cur.bytes[e];
            const std::uint32_t height = cur.bytes[e + 1] == 0 ? 256 : cur.bytes[e + 1];
            group.U16(width);
            group.U16(height * 2);
            group.U16(1);
            group.U16(cur.U16(offset + 14)); // the image's bit count
            group.U32(size + 4);
            group.U16(id);
            Bytes image;
            image.U16(cur.U16(e + 4));
            image.U16(cur.U16(e + 6));
            image.v.insert(image.v.end(), cur.bytes.begin() + offset,
                           cur.bytes.begin() + offset + size);
            Add(at, Numeric(1), Numeric(id), std::move(image.v));
        }
        Add(at, Numeric(12), name, std::move(group.v));
    }

    // An accelerator table: one entry a line, "event, id[, type][, options]"; the event is a
    // character ("a", "^C" for Ctrl+C) or a key number (VK_F5, 65). Each entry is stored as
    // flags, key and command id in 16 bits each plus 16 bits of padding; the last entry's flags
    // carry 0x80.
    void Accelerators(const Location& at, const Id& name) {
        SkipToBlock();
        Bytes table;
        while (!IsEnd(Peek())) {
            if (Peek().kind == Kind::End) Fail(Peek().at, "ACCELERATORS without END");
            const Location line = Peek().at;
            std::int64_t key = 0;
            std::u16string text;
            const bool isText = Peek().kind == Kind::String;
            if (isText) {
                text = Utf16(Next().text);
                if (text.size() == 2 && text[0] == u'^') {
                    const char16_t c = text[1] >= u'a' && text[1] <= u'z' ? text[1] - 32 : text[1];
                    if (c < u'@' || c > u'_') Fail(line, "\"^\" must be followed by a letter");
                    key = c - u'@';
                } else if (text.size() == 1) {
                    key = text[0];
                } else {
                    Fail(line, "an accelerator's event must be one character");
                }
            } else {
                key = Expr();
            }
            if (key < 0 || key > 0xFFFF) Fail(line, "accelerator key out of range");
            Expect(",");
            const std::int64_t command = Expr();
            if (command < 0 || command > 0xFFFF) Fail(line, "accelerator id out of range");
            std::uint32_t flags = 0;
            bool ascii = false;
            while (Accept(",")) {
                const Token& option = Next();
                const std::string w = option.kind == Kind::Ident ? Upper(option.text) : "";
                if (w == "VIRTKEY") {
                    flags |= 0x01;
                } else if (w == "ASCII") {
                    ascii = true;
                } else if (w == "NOINVERT") {
                    flags |= 0x02;
                } else if (w == "SHIFT") {
                    flags |= 0x04;
                } else if (w == "CONTROL") {
                    flags |= 0x08;
                } else if (w == "ALT") {
                    flags |= 0x10;
                } else {
                    Fail(option.at, "unknown accelerator option " + Show(option));
                }
            }
            if (ascii && (flags & 0x01)) Fail(line, "an accelerator is either ASCII or VIRTKEY");
            if (!(flags & 0x01) && (flags & 0x0C)) {
                Fail(line, "SHIFT and CONTROL need VIRTKEY");
            }
            // A virtual key named by a letter is the letter's upper case.
            if ((flags & 0x01) && isText && key >= 'a' && key <= 'z') key -= 32;
            table.U16(flags);
            table.U16(static_cast<std::uint32_t>(key));
            table.U16(static_cast<std::uint32_t>(command));
            table.U16(0);
        }
        Next();
        if (table.v.empty()) Fail(at, "empty accelerator table");
        table.v[table.v.size() - 8] |= 0x80;
        Add(at, Numeric(9), name, std::move(table.v));
    }

    std::vector<Token>& t_;
    std::size_t pos_ = 0;
    std::string scriptDir_;
    const std::vector<std::string>& includeDirs_;
    std::vector<std::string>* files_;
    std::vector<Resource> resources_;
    std::map<std::uint32_t, std::u16string> strings16_;
    std::map<std::uint32_t, Resource> strings_;
    std::set<std::pair<Id, Id>> seen_;
    std::uint32_t nextIcon_ = 1;
    std::uint32_t nextCursor_ = 1;
};

// ---- Output ------------------------------------------------------------------------------------

std::string Literal16(const std::u16string& s) {
    std::string out = "u\"";
    char buf[8];
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out.push_back(static_cast<char>(c));
        } else {
            std::snprintf(buf, sizeof(buf), "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + "\"";
}

bool WriteIfChanged(const std::string& path, const std::string& content);

// Data this large goes beside the generated source and is assembled in (.incbin): as a string
// literal it would make a source file of four times its size for the compiler to read.
constexpr std::size_t kIncludeAbove = 1u << 20;

std::uint64_t Fnv1a(const std::vector<unsigned char>& data) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : data)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

// A path inside the assembler's string inside the generated C++ string.
std::string AsmString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"')
            out += R"(\\\")";
        else if (c == '\\')
            out += R"(\\\\)";
        else
            out.push_back(c);
    }
    return out;
}

std::string Generate(const std::vector<Resource>& resources, const std::string& script,
                     const std::string& output) {
    std::string out;
    out += "// Generated by tessark-rc from " + script + ". Do not edit.\n";
    out += "#include \"platform/core/resource_table.h\"\n\nnamespace {\n\n";
    char buf[8];
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const auto& d = resources[i].data;
        const std::string name = "data" + std::to_string(i);
        if (!output.empty() && d.size() > kIncludeAbove) {
            // The data's hash in the source makes a change of the data a change of the source,
            // since neither the compiler's dependencies nor a compiler cache see .incbin files.
            const std::string bin =
                fs::absolute(output).string() + "." + std::to_string(i) + ".bin";
            char hash[32];
            std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(d)));
            if (!WriteIfChanged(bin, std::string(d.begin(), d.end())))
                throw Failure{output + ":0: cannot write " + bin};
            const std::string symbol = "tessark_rc_" + std::string(hash) + "_" + name;
            out += "// " + bin + ": " + std::to_string(d.size()) + " bytes, FNV-1a " + hash + "\n";
            out += "extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned char " +
                   symbol + "[];\n";
            out += "__asm__(\".pushsection .rodata\\n.balign 8\\n.local " + symbol + "\\n" +
                   symbol + ":\\n.incbin \\\"" + AsmString(bin) +
                   "\\\"\\n.byte 0\\n.popsection\");\n";
            out += "const unsigned char* const " + name + " = " + symbol + ";\n";
            continue;
        }
        out += "alignas(8) const unsigned char " + name + "[] =";
        if (d.empty()) out += " \"\"";
        for (std::size_t k = 0; k < d.size(); ++k) {
            if (k % 64 == 0) out += "\n    \"";
            std::snprintf(buf, sizeof(buf), "\\x%02x", d[k]);
            out += buf;
            if (k % 64 == 63 || k + 1 == d.size()) out += "\"";
        }
        out += ";\n";
    }
    out += "\nconst platform::resource::Entry entries[] = {\n";
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        out += "    {";
        out += r.type.named ? Literal16(r.type.name) + ", 0, "
                            : "nullptr, " + std::to_string(r.type.number) + ", ";
        out += r.name.named ? Literal16(r.name.name) + ", 0, "
                            : "nullptr, " + std::to_string(r.name.number) + ", ";
        out += "data" + std::to_string(i) + ", " + std::to_string(r.data.size()) + "u, " +
               std::to_string(r.present) + "},\n";
    }
    if (resources.empty()) out += "    {nullptr, 0, nullptr, 0, nullptr, 0u, 0},\n";
    out += "};\n\n} // namespace\n\n";
    out += "extern \"C\" const platform::resource::Table tessark_program_resources = {entries, " +
           std::to_string(resources.size()) + "u};\n";
    return out;
}

std::string DepEscape(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out.push_back('\\');
        if (c == '$') out.push_back('$');
        out.push_back(c);
    }
    return out;
}

bool WriteIfChanged(const std::string& path, const std::string& content) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::stringstream ss;
            ss << in.rdbuf();
            if (ss.str() == content) return true;
        }
    }
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << content;
        if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

} // namespace

bool Compile(const Options& options, std::string* errors) {
    try {
        Preprocessor pp(options.includeDirs);
        pp.Run(options.script, nullptr);
        std::vector<std::string> files = pp.files();
        std::string dir = fs::path(options.script).parent_path().string();
        if (dir.empty()) dir = ".";
        Parser parser(pp.tokens(), pp.end(), dir, options.includeDirs, &files);
        std::vector<Resource> resources = parser.Parse();
        if (!WriteIfChanged(options.output, Generate(resources, options.script, options.output))) {
            *errors = options.output + ":0: cannot write the output\n";
            return false;
        }
        if (!options.depfile.empty()) {
            std::string dep = DepEscape(options.output) + ":";
            for (auto& f : files)
                dep += " \\\n  " + DepEscape(fs::absolute(f).string());
            dep += "\n";
            if (!WriteIfChanged(options.depfile, dep)) {
                *errors = options.depfile + ":0: cannot write the dependency file\n";
                return false;
            }
        }
        return true;
    } catch (const Failure& f) {
        *errors = f.message + "\n";
        return false;
    }
}

} // namespace tessark::rc
