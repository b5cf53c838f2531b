// "zzrapi.dll" on the device: expands a file that arrived as a zz block. Called through
// CeRapiInvoke inside the device process, where device paths ("\...") lead into the device's
// own tree.
#include "foundation/zz.h"
#include "platform/rapi.h"

#include <cstring>
#include <string>

#define DEVICE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The longest path a caller may name, without its terminator.
constexpr std::size_t kMaxPathChars = MAX_PATH - 1;
// A temporary file larger than this is not a transfer of the setup program.
constexpr DWORD kMaxBlock = 64u << 20;

// The answer as a wide text with its terminator, in a LocalAlloc block for the caller.
HRESULT Answer(const char16_t* text, DWORD* outputSize, BYTE** output) {
    std::size_t bytes = (std::char_traits<char16_t>::length(text) + 1) * 2;
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes));
    if (block == nullptr) return static_cast<HRESULT>(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(block, text, bytes);
    *output = block;
    *outputSize = static_cast<DWORD>(bytes);
    return S_OK;
}

// A device path from the input: absolute, of at most 259 characters, without drive letters or
// ".." components, so that it stays in the device's tree.
bool TakePath(const char16_t*& cursor, const char16_t* end, std::u16string* path) {
    const char16_t* start = cursor;
    while (cursor < end && *cursor != 0)
        ++cursor;
    if (cursor == end) return false; // no terminator
    path->assign(start, cursor);
    ++cursor;
    if (path->empty() || path->size() > kMaxPathChars) return false;
    if ((*path)[0] != u'\\' && (*path)[0] != u'/') return false;
    if (path->find(u':') != std::u16string::npos) return false;
    std::size_t from = 0;
    while (from <= path->size()) {
        std::size_t next = path->find_first_of(u"\\/", from);
        if (next == std::u16string::npos) next = path->size();
        std::u16string_view part(path->data() + from, next - from);
        if (part == u"..") return false;
        from = next + 1;
    }
    return true;
}

DWORD ReadBlock(const std::u16string& path, BYTE** block, DWORD* size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD high = 0;
    DWORD length = GetFileSize(file, &high);
    DWORD error = ERROR_SUCCESS;
    if (length == INVALID_FILE_SIZE || high != 0 || length > kMaxBlock ||
        length <= kZZPrefixBytes) {
        error = ERROR_INVALID_DATA;
    }
    BYTE* data = nullptr;
    if (error == ERROR_SUCCESS) {
        data = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, length));
        DWORD got = 0;
        if (data == nullptr) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        } else if (!ReadFile(file, data, length, &got, nullptr) || got != length) {
            error = ERROR_READ_FAULT;
        }
    }
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        if (data != nullptr) LocalFree(data);
        return error;
    }
    *block = data;
    *size = length;
    return ERROR_SUCCESS;
}

DWORD WriteWhole(const std::u16string& path, const BYTE* data, DWORD size) {
    SetFileAttributesW(path.c_str(), 0);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && ok) error = ERROR_WRITE_FAULT;
    if (!ok && error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
    return error;
}

DWORD Expand(DWORD inputSize, const BYTE* input) {
    if (input == nullptr || inputSize % 2 != 0 || inputSize > 2 * 2 * MAX_PATH) {
        return ERROR_INVALID_PARAMETER;
    }
    std::u16string text(inputSize / 2, u'\0');
    std::memcpy(text.data(), input, inputSize);
    const char16_t* cursor = text.data();
    const char16_t* end = text.data() + text.size();
    std::u16string temporary, destination;
    if (!TakePath(cursor, end, &temporary) || !TakePath(cursor, end, &destination)) {
        return ERROR_INVALID_PARAMETER;
    }
    BYTE* block = nullptr;
    DWORD blockSize = 0;
    DWORD error = ReadBlock(temporary, &block, &blockSize);
    if (error != ERROR_SUCCESS) return error;
    DWORD expected = static_cast<DWORD>(block[0]) | (static_cast<DWORD>(block[1]) << 8) |
                     (static_cast<DWORD>(block[2]) << 16) | (static_cast<DWORD>(block[3]) << 24);
    BYTE* data = nullptr;
    DWORD size = 0;
    // The destination is only touched once the whole block has expanded to its stated size.
    if (!zzdecompress(&data, &size, block, blockSize)) {
        error = ERROR_INVALID_DATA;
    } else if (size != expected) {
        error = ERROR_INVALID_DATA;
    } else {
        error = WriteWhole(destination, data, size);
    }
    zzfree(data);
    LocalFree(block);
    return error;
}

} // namespace

DEVICE_EXPORT HRESULT GetZZRAPIVersion(DWORD inputSize, BYTE* input, DWORD* outputSize,
                                       BYTE** output, IRAPIStream* stream) {
    (void)inputSize;
    (void)stream;
    if (input != nullptr) LocalFree(input);
    return Answer(u"1", outputSize, output);
}

// Input: the temporary path and the destination path, each a wide text with its terminator.
// 0 once the destination holds the block's expanded bytes; a system error code otherwise.
DEVICE_EXPORT HRESULT DecompressFile(DWORD inputSize, BYTE* input, DWORD* outputSize, BYTE** output,
                                     IRAPIStream* stream) {
    (void)stream;
    *outputSize = 0;
    *output = nullptr;
    DWORD error = Expand(inputSize, input);
    if (input != nullptr) LocalFree(input);
    return static_cast<HRESULT>(error);
}
