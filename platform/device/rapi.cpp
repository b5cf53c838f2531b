// "rapi.dll": the desktop side of the device connection. Every entry the setup program relies
// on becomes a request to the device process; the others fail with ERROR_CALL_NOT_IMPLEMENTED.
// The events, local memory and last error are the loading program's own (see platform/rapi.h).
#include "platform/rapi.h"
#include "platform/device/protocol.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <sys/time.h>
#include <thread>
#include <type_traits>

#define RAPI_EXPORT extern "C" __attribute__((visibility("default")))

using device::Op;
using device::Reader;
using device::Writer;

namespace {

constexpr HRESULT kLostResult = static_cast<HRESULT>(0x80070000u | ERROR_DEVICE_NOT_CONNECTED);
// A device that stops answering in the middle of a call fails it after this long.
constexpr int kAnswerSeconds = 30;

struct Search {
    std::vector<CE_FIND_DATA> entries;
    std::size_t next = 0;
};

struct Connection {
    std::mutex lock; // one call at a time on the socket; guards every field below
    int fd = -1;
    bool initialized = false;
    HANDLE event = nullptr;
    std::thread waiter;
    std::atomic<bool> stop{false};
    DWORD lastError = 0;
    HRESULT lastResult = S_OK;
    std::map<std::uintptr_t, Search> searches;
    std::uintptr_t nextSearch = 0x7F000000;

    ~Connection() {
        // The library unloaded without CeRapiUninit: the waiting thread still has to end.
        stop = true;
        if (waiter.joinable()) waiter.join();
        if (fd >= 0) close(fd);
    }
};

Connection g_rapi;

template <class... T>
void Ignore(const T&...) {}

Writer Request(Op op) {
    Writer request;
    request.U32(static_cast<std::uint32_t>(op));
    return request;
}

void Fail(DWORD error) {
    g_rapi.lastError = error;
    SetLastError(error);
}

// Connects and greets the device; the socket, or -1 when it does not answer.
int Reach() {
    int fd = device::ConnectTo(device::SocketPath(device::DeviceDir()));
    if (fd < 0) return -1;
    timeval limit{kAnswerSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::vector<unsigned char> answer;
    if (!device::SendFrame(fd, Request(Op::ReqHello).data()) || !device::ReceiveFrame(fd, answer)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The answer of one call: its result, the device's last error and the fields after them.
struct Reply {
    bool ok = false;
    std::uint32_t result = 0;
    std::uint32_t error = 0;
    std::vector<unsigned char> frame;
    Reader fields{nullptr, 0};
};

// Sends a request and waits for its answer. A device that has gone (unplugged, killed, or
// silent past the limit) fails the call with ERROR_DEVICE_NOT_CONNECTED, as every later one.
Reply Call(const Writer& request) {
    Reply reply;
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    if (g_rapi.fd < 0 || !device::SendFrame(g_rapi.fd, request.data()) ||
        !device::ReceiveFrame(g_rapi.fd, reply.frame) || reply.frame.size() < 8) {
        if (g_rapi.fd >= 0) close(g_rapi.fd);
        g_rapi.fd = -1;
        g_rapi.lastResult = kLostResult;
        Fail(ERROR_DEVICE_NOT_CONNECTED);
        return reply;
    }
    reply.fields = Reader(reply.frame);
    reply.result = reply.fields.U32();
    reply.error = reply.fields.U32();
    reply.ok = true;
    g_rapi.lastError = reply.error;
    SetLastError(reply.error);
    return reply;
}

// A reply whose fields could not be read: the device spoke nonsense, so nothing is believed.
bool Malformed(Reply& reply) {
    if (reply.fields.ok()) return false;
    Fail(ERROR_INVALID_DATA);
    reply.ok = false;
    return true;
}

std::size_t Length(LPCWSTR text) {
    std::size_t length = 0;
    if (text != nullptr) {
        while (text[length] != 0 && length <= device::kMaxText)
            ++length;
    }
    return length;
}

// Texts longer than any device path are refused before they travel.
bool TextFits(LPCWSTR text) {
    return Length(text) <= device::kMaxText;
}

Writer WithText(Op op, LPCWSTR text) {
    Writer request = Request(op);
    request.Text(text != nullptr ? text : u"", Length(text));
    return request;
}

std::uint32_t HandleId(HANDLE handle) {
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(value);
}

// Root keys travel as their 32-bit codes, opened keys as the device's numbers.
std::uint32_t KeyId(HKEY key) {
    auto value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= 0xFFFFFFFF80000000u) return static_cast<std::uint32_t>(value);
    return value > 0x7FFFFFFFu ? 0 : static_cast<std::uint32_t>(value);
}

BOOL SimplePath(Op op, LPCWSTR path) {
    if (path == nullptr || !TextFits(path)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reply reply = Call(WithText(op, path));
    return reply.ok && reply.result != 0;
}

void WaitForDevice(HANDLE event) {
    while (!g_rapi.stop) {
        int fd = Reach();
        if (fd >= 0) {
            std::lock_guard<std::mutex> guard(g_rapi.lock);
            g_rapi.fd = fd;
            SetEvent(event);
            return;
        }
        for (int i = 0; i < 5 && !g_rapi.stop; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The connection

RAPI_EXPORT HRESULT CeRapiInit() {
    std::unique_lock<std::mutex> guard(g_rapi.lock);
    if (g_rapi.initialized) return CERAPI_E_ALREADYINITIALIZED;
    guard.unlock();
    int fd = Reach();
    guard.lock();
    if (fd < 0) {
        g_rapi.lastResult = E_FAIL;
        return E_FAIL;
    }
    g_rapi.fd = fd;
    g_rapi.initialized = true;
    g_rapi.lastResult = S_OK;
    return S_OK;
}

// The record is the original's 12 bytes or more; its event is signalled once the device answers.
RAPI_EXPORT HRESULT CeRapiInitEx(RAPIINIT* init) {
    if (init == nullptr || init->cbSize < 12) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    if (g_rapi.initialized) return CERAPI_E_ALREADYINITIALIZED;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return E_FAIL;
    g_rapi.event = event;
    g_rapi.initialized = true;
    g_rapi.stop = false;
    g_rapi.lastResult = S_OK;
    init->heRapiInit = event;
    init->hrRapiInit = S_OK;
    g_rapi.waiter = std::thread(WaitForDevice, event);
    return S_OK;
}

RAPI_EXPORT HRESULT CeRapiUninit() {
    {
        std::lock_guard<std::mutex> guard(g_rapi.lock);
        if (!g_rapi.initialized) return E_FAIL;
        g_rapi.stop = true;
    }
    if (g_rapi.waiter.joinable()) g_rapi.waiter.join();
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    if (g_rapi.fd >= 0) close(g_rapi.fd);
    g_rapi.fd = -1;
    if (g_rapi.event != nullptr) CloseHandle(g_rapi.event);
    g_rapi.event = nullptr;
    g_rapi.searches.clear();
    g_rapi.initialized = false;
    return S_OK;
}

RAPI_EXPORT HRESULT CeRapiGetError() {
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    return g_rapi.lastResult;
}

RAPI_EXPORT HRESULT CeRapiFreeBuffer(LPVOID buffer) {
    LocalFree(buffer);
    return S_OK;
}

RAPI_EXPORT DWORD CeGetLastError() {
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    return g_rapi.lastError;
}

// The input belongs to the call (it is released here, whatever happens); the output is a new
// LocalAlloc block for the caller.
RAPI_EXPORT HRESULT CeRapiInvoke(LPCWSTR library, LPCWSTR function, DWORD inputSize, BYTE* input,
                                 DWORD* outputSize, BYTE** output, IRAPIStream** stream,
                                 DWORD flags) {
    Ignore(flags);
    if (outputSize != nullptr) *outputSize = 0;
    if (output != nullptr) *output = nullptr;
    if (stream != nullptr) {
        // Stream mode is not offered.
        if (input != nullptr) LocalFree(input);
        return E_NOTIMPL;
    }
    if (library == nullptr || function == nullptr || !TextFits(library) || !TextFits(function) ||
        inputSize > device::kMaxTransfer || (input == nullptr && inputSize > 0)) {
        if (input != nullptr) LocalFree(input);
        return E_INVALIDARG;
    }
    Writer request = Request(Op::ReqInvoke);
    request.Text(library, Length(library)).Text(function, Length(function));
    request.Bytes(input, inputSize);
    if (input != nullptr) LocalFree(input);
    Reply reply = Call(request);
    if (!reply.ok) return kLostResult;
    std::vector<unsigned char> data = reply.fields.Bytes(device::kMaxTransfer);
    if (Malformed(reply)) return E_FAIL;
    if (!data.empty() && output != nullptr) {
        auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, data.size()));
        if (block == nullptr) return E_FAIL;
        std::memcpy(block, data.data(), data.size());
        *output = block;
        if (outputSize != nullptr) *outputSize = static_cast<DWORD>(data.size());
    }
    return static_cast<HRESULT>(reply.result);
}

// ---------------------------------------------------------------------------------------------
// Files

RAPI_EXPORT HANDLE CeFindFirstFile(LPCWSTR pattern, LPCE_FIND_DATA data) {
    if (pattern == nullptr || data == nullptr || !TextFits(pattern)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Reply reply = Call(WithText(Op::ReqFindFiles, pattern));
    if (!reply.ok || reply.result == 0) return INVALID_HANDLE_VALUE;
    std::uint32_t count = reply.fields.U32();
    std::vector<unsigned char> bytes = reply.fields.Bytes();
    if (Malformed(reply)) return INVALID_HANDLE_VALUE;
    Search search;
    Reader entries(bytes);
    for (std::uint32_t i = 0; i < count && entries.ok(); ++i) {
        CE_FIND_DATA entry{};
        entry.dwFileAttributes = entries.U32();
        entry.nFileSizeHigh = entries.U32();
        entry.nFileSizeLow = entries.U32();
        std::u16string name = entries.Text();
        if (!entries.ok() || name.size() >= MAX_PATH) break;
        std::memcpy(entry.cFileName, name.data(), name.size() * 2);
        search.entries.push_back(entry);
    }
    if (search.entries.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = search.entries[0];
    search.next = 1;
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    std::uintptr_t id = g_rapi.nextSearch;
    g_rapi.nextSearch += 4;
    g_rapi.searches[id] = std::move(search);
    return reinterpret_cast<HANDLE>(id);
}

RAPI_EXPORT BOOL CeFindNextFile(HANDLE handle, LPCE_FIND_DATA data) {
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    auto found = g_rapi.searches.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == g_rapi.searches.end() || data == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Search& search = found->second;
    if (search.next >= search.entries.size()) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = search.entries[search.next++];
    return TRUE;
}

RAPI_EXPORT BOOL CeFindClose(HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_rapi.lock);
    if (g_rapi.searches.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

RAPI_EXPORT DWORD CeGetFileAttributes(LPCWSTR path) {
    if (path == nullptr || !TextFits(path)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    Reply reply = Call(WithText(Op::ReqGetFileAttributes, path));
    return reply.ok ? reply.result : INVALID_FILE_ATTRIBUTES;
}

RAPI_EXPORT BOOL CeSetFileAttributes(LPCWSTR path, DWORD attributes) {
    if (path == nullptr || !TextFits(path)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Writer request = WithText(Op::ReqSetFileAttributes, path);
    request.U32(attributes);
    Reply reply = Call(request);
    return reply.ok && reply.result != 0;
}

RAPI_EXPORT HANDLE CeCreateFile(LPCWSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                HANDLE templateFile) {
    Ignore(security, templateFile);
    if (path == nullptr || !TextFits(path)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Writer request = WithText(Op::ReqCreateFile, path);
    request.U32(access).U32(share).U32(creation).U32(flags);
    Reply reply = Call(request);
    if (!reply.ok || reply.result == 0) return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(reply.result));
}

RAPI_EXPORT BOOL CeReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                            LPOVERLAPPED overlapped) {
    Ignore(overlapped);
    if (bytesRead != nullptr) *bytesRead = 0;
    if (buffer == nullptr && bytesToRead > 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    DWORD total = 0;
    do {
        DWORD piece = std::min<DWORD>(bytesToRead - total, device::kMaxTransfer);
        Writer request = Request(Op::ReqReadFile);
        request.U32(HandleId(file)).U32(piece);
        Reply reply = Call(request);
        if (!reply.ok || reply.result == 0) return FALSE;
        std::vector<unsigned char> data = reply.fields.Bytes(piece);
        if (Malformed(reply)) return FALSE;
        if (!data.empty()) std::memcpy(out + total, data.data(), data.size());
        total += static_cast<DWORD>(data.size());
        if (bytesRead != nullptr) *bytesRead = total;
        if (data.size() < piece) break; // the end of the file
    } while (total < bytesToRead);
    return TRUE;
}

RAPI_EXPORT BOOL CeWriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                             LPOVERLAPPED overlapped) {
    Ignore(overlapped);
    if (bytesWritten != nullptr) *bytesWritten = 0;
    if (buffer == nullptr && bytesToWrite > 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    DWORD total = 0;
    do {
        DWORD piece = std::min<DWORD>(bytesToWrite - total, device::kMaxTransfer);
        Writer request = Request(Op::ReqWriteFile);
        request.U32(HandleId(file)).Bytes(in + total, piece);
        Reply reply = Call(request);
        if (!reply.ok) return FALSE;
        std::uint32_t written = reply.fields.U32();
        if (Malformed(reply)) return FALSE;
        total += std::min(written, piece);
        if (bytesWritten != nullptr) *bytesWritten = total;
        if (reply.result == 0) return FALSE;
        if (written < piece) break;
    } while (total < bytesToWrite);
    return TRUE;
}

RAPI_EXPORT BOOL CeCloseHandle(HANDLE handle) {
    Writer request = Request(Op::ReqCloseHandle);
    request.U32(HandleId(handle));
    Reply reply = Call(request);
    return reply.ok && reply.result != 0;
}

RAPI_EXPORT DWORD CeSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    Writer request = Request(Op::ReqSetFilePointer);
    request.U32(HandleId(file)).U32(static_cast<std::uint32_t>(distance));
    request.U32(distanceHigh != nullptr ? 1 : 0);
    request.U32(distanceHigh != nullptr ? static_cast<std::uint32_t>(*distanceHigh) : 0);
    request.U32(method);
    Reply reply = Call(request);
    if (!reply.ok) return INVALID_SET_FILE_POINTER;
    std::uint32_t high = reply.fields.U32();
    if (Malformed(reply)) return INVALID_SET_FILE_POINTER;
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(high);
    return reply.result;
}

RAPI_EXPORT DWORD CeGetFileSize(HANDLE file, LPDWORD sizeHigh) {
    Writer request = Request(Op::ReqGetFileSize);
    request.U32(HandleId(file));
    Reply reply = Call(request);
    if (!reply.ok) return INVALID_FILE_SIZE;
    std::uint32_t high = reply.fields.U32();
    if (Malformed(reply)) return INVALID_FILE_SIZE;
    if (sizeHigh != nullptr) *sizeHigh = high;
    return reply.result;
}

RAPI_EXPORT BOOL CeCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    Ignore(security);
    return SimplePath(Op::ReqCreateDirectory, path);
}

RAPI_EXPORT BOOL CeRemoveDirectory(LPCWSTR path) {
    return SimplePath(Op::ReqRemoveDirectory, path);
}

RAPI_EXPORT BOOL CeDeleteFile(LPCWSTR path) {
    return SimplePath(Op::ReqDeleteFile, path);
}

RAPI_EXPORT BOOL CeMoveFile(LPCWSTR from, LPCWSTR to) {
    if (from == nullptr || to == nullptr || !TextFits(from) || !TextFits(to)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Writer request = WithText(Op::ReqMoveFile, from);
    request.Text(to, Length(to));
    Reply reply = Call(request);
    return reply.ok && reply.result != 0;
}

// ---------------------------------------------------------------------------------------------
// The registry

namespace {

LONG OpenOrCreate(HKEY parent, LPCWSTR sub, bool create, PHKEY result, LPDWORD disposition) {
    if (result == nullptr || !TextFits(sub)) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::uint32_t parentId = KeyId(parent);
    if (parentId == 0) return ERROR_INVALID_HANDLE;
    Writer request = Request(Op::ReqRegOpenKey);
    request.U32(parentId).Text(sub != nullptr ? sub : u"", Length(sub)).U32(create ? 1 : 0);
    Reply reply = Call(request);
    if (!reply.ok) return ERROR_DEVICE_NOT_CONNECTED;
    std::uint32_t id = reply.fields.U32();
    std::uint32_t how = reply.fields.U32();
    if (Malformed(reply)) return ERROR_INVALID_DATA;
    if (reply.result == ERROR_SUCCESS) {
        *result = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(id));
        if (disposition != nullptr) *disposition = how;
    }
    return static_cast<LONG>(reply.result);
}

Writer KeyRequest(Op op, HKEY key) {
    Writer request = Request(op);
    request.U32(KeyId(key));
    return request;
}

} // namespace

RAPI_EXPORT LONG CeRegOpenKeyEx(HKEY key, LPCWSTR sub, DWORD options, REGSAM desired,
                                PHKEY result) {
    Ignore(options, desired);
    return OpenOrCreate(key, sub, false, result, nullptr);
}

RAPI_EXPORT LONG CeRegCreateKeyEx(HKEY key, LPCWSTR sub, DWORD reserved, LPWSTR keyClass,
                                  DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES security,
                                  PHKEY result, LPDWORD disposition) {
    Ignore(reserved, keyClass, options, desired, security);
    return OpenOrCreate(key, sub, true, result, disposition);
}

RAPI_EXPORT LONG CeRegCloseKey(HKEY key) {
    Reply reply = Call(KeyRequest(Op::ReqRegCloseKey, key));
    return reply.ok ? static_cast<LONG>(reply.result) : ERROR_DEVICE_NOT_CONNECTED;
}

RAPI_EXPORT LONG CeRegDeleteKey(HKEY key, LPCWSTR sub) {
    if (sub == nullptr || !TextFits(sub)) return ERROR_INVALID_PARAMETER;
    Writer request = KeyRequest(Op::ReqRegDeleteKey, key);
    request.Text(sub, Length(sub));
    Reply reply = Call(request);
    return reply.ok ? static_cast<LONG>(reply.result) : ERROR_DEVICE_NOT_CONNECTED;
}

RAPI_EXPORT LONG CeRegDeleteValue(HKEY key, LPCWSTR name) {
    if (!TextFits(name)) return ERROR_INVALID_PARAMETER;
    Writer request = KeyRequest(Op::ReqRegDeleteValue, key);
    request.Text(name != nullptr ? name : u"", Length(name));
    Reply reply = Call(request);
    return reply.ok ? static_cast<LONG>(reply.result) : ERROR_DEVICE_NOT_CONNECTED;
}

namespace {

// A value's data into the caller's buffer as the registry calls give it: the size always, the
// bytes when they fit, ERROR_MORE_DATA when they do not.
LONG CopyValueData(const std::vector<unsigned char>& bytes, BYTE* data, DWORD* dataSize) {
    LONG status = ERROR_SUCCESS;
    if (data != nullptr) {
        if (*dataSize < bytes.size()) {
            status = ERROR_MORE_DATA;
        } else if (!bytes.empty()) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
    }
    if (dataSize != nullptr) *dataSize = static_cast<DWORD>(bytes.size());
    return status;
}

// A key or value name with its terminator, when the caller's buffer holds it.
bool CopyName(const std::u16string& found, LPWSTR name, LPDWORD nameChars) {
    if (*nameChars <= found.size()) return false;
    std::memcpy(name, found.c_str(), (found.size() + 1) * 2);
    *nameChars = static_cast<DWORD>(found.size());
    return true;
}

} // namespace

RAPI_EXPORT LONG CeRegQueryValueEx(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                   LPBYTE data, LPDWORD dataSize) {
    Ignore(reserved);
    if (!TextFits(name) || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Writer request = KeyRequest(Op::ReqRegQueryValue, key);
    request.Text(name != nullptr ? name : u"", Length(name));
    Reply reply = Call(request);
    if (!reply.ok) return ERROR_DEVICE_NOT_CONNECTED;
    std::uint32_t found = reply.fields.U32();
    std::vector<unsigned char> bytes = reply.fields.Bytes();
    if (Malformed(reply)) return ERROR_INVALID_DATA;
    if (reply.result != ERROR_SUCCESS) return static_cast<LONG>(reply.result);
    if (type != nullptr) *type = found;
    return CopyValueData(bytes, data, dataSize);
}

RAPI_EXPORT LONG CeRegSetValueEx(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                 const BYTE* data, DWORD dataSize) {
    Ignore(reserved);
    if (!TextFits(name) || (data == nullptr && dataSize > 0) || dataSize > device::kMaxTransfer) {
        return ERROR_INVALID_PARAMETER;
    }
    Writer request = KeyRequest(Op::ReqRegSetValue, key);
    request.Text(name != nullptr ? name : u"", Length(name)).U32(type).Bytes(data, dataSize);
    Reply reply = Call(request);
    return reply.ok ? static_cast<LONG>(reply.result) : ERROR_DEVICE_NOT_CONNECTED;
}

RAPI_EXPORT LONG CeRegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars,
                                LPDWORD reserved, LPWSTR keyClass, LPDWORD classChars,
                                PFILETIME lastWrite) {
    Ignore(reserved);
    if (name == nullptr || nameChars == nullptr) return ERROR_INVALID_PARAMETER;
    Writer request = KeyRequest(Op::ReqRegEnumKey, key);
    request.U32(index);
    Reply reply = Call(request);
    if (!reply.ok) return ERROR_DEVICE_NOT_CONNECTED;
    std::u16string found = reply.fields.Text();
    if (Malformed(reply)) return ERROR_INVALID_DATA;
    if (reply.result != ERROR_SUCCESS) return static_cast<LONG>(reply.result);
    if (!CopyName(found, name, nameChars)) return ERROR_MORE_DATA;
    if (keyClass != nullptr && classChars != nullptr && *classChars > 0) keyClass[0] = 0;
    if (classChars != nullptr) *classChars = 0;
    if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

RAPI_EXPORT LONG CeRegEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars,
                                LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    Ignore(reserved);
    if (name == nullptr || nameChars == nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Writer request = KeyRequest(Op::ReqRegEnumValue, key);
    request.U32(index);
    Reply reply = Call(request);
    if (!reply.ok) return ERROR_DEVICE_NOT_CONNECTED;
    std::u16string found = reply.fields.Text();
    std::uint32_t foundType = reply.fields.U32();
    std::vector<unsigned char> bytes = reply.fields.Bytes();
    if (Malformed(reply)) return ERROR_INVALID_DATA;
    if (reply.result != ERROR_SUCCESS) return static_cast<LONG>(reply.result);
    if (!CopyName(found, name, nameChars)) return ERROR_MORE_DATA;
    if (type != nullptr) *type = foundType;
    return CopyValueData(bytes, data, dataSize);
}

RAPI_EXPORT LONG CeRegQueryInfoKey(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                                   LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                                   LPDWORD values, LPDWORD maxValueNameLength,
                                   LPDWORD maxValueLength, LPDWORD securityDescriptor,
                                   PFILETIME lastWrite) {
    Ignore(reserved);
    Reply reply = Call(KeyRequest(Op::ReqRegQueryInfoKey, key));
    if (!reply.ok) return ERROR_DEVICE_NOT_CONNECTED;
    DWORD fields[5];
    for (DWORD& field : fields)
        field = reply.fields.U32();
    if (Malformed(reply)) return ERROR_INVALID_DATA;
    if (reply.result != ERROR_SUCCESS) return static_cast<LONG>(reply.result);
    if (keyClass != nullptr && classChars != nullptr && *classChars > 0) keyClass[0] = 0;
    if (classChars != nullptr) *classChars = 0;
    if (subKeys != nullptr) *subKeys = fields[0];
    if (maxSubKeyLength != nullptr) *maxSubKeyLength = fields[1];
    if (maxClassLength != nullptr) *maxClassLength = 0;
    if (values != nullptr) *values = fields[2];
    if (maxValueNameLength != nullptr) *maxValueNameLength = fields[3];
    if (maxValueLength != nullptr) *maxValueLength = fields[4];
    if (securityDescriptor != nullptr) *securityDescriptor = 0;
    if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// The system

RAPI_EXPORT BOOL CeGetStoreInformation(LPSTORE_INFORMATION info) {
    if (info == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reply reply = Call(Request(Op::ReqStoreInformation));
    if (!reply.ok) return FALSE;
    std::uint32_t size = reply.fields.U32();
    std::uint32_t free = reply.fields.U32();
    if (Malformed(reply)) return FALSE;
    info->dwStoreSize = size;
    info->dwFreeSize = free;
    return TRUE;
}

// Without a device the architecture reads as unknown (0xFFFF).
RAPI_EXPORT void CeGetSystemInfo(LPSYSTEM_INFO info) {
    if (info == nullptr) return;
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = 0xFFFF;
    Reply reply = Call(Request(Op::ReqHello));
    if (!reply.ok) return;
    std::uint32_t architecture = reply.fields.U32();
    if (Malformed(reply)) return;
    info->wProcessorArchitecture = static_cast<WORD>(architecture);
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 1;
    info->dwActiveProcessorMask = 1;
    info->dwAllocationGranularity = 65536;
}

RAPI_EXPORT DWORD CeSHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
    if (shortcut == nullptr || target == nullptr || !TextFits(shortcut) || !TextFits(target)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Writer request = WithText(Op::ReqCreateShortcut, shortcut);
    request.Text(target, Length(target));
    Reply reply = Call(request);
    return reply.ok && reply.result != 0 ? TRUE : FALSE;
}

// The length copied, without the terminator; 0 on failure (a buffer too small included).
RAPI_EXPORT DWORD CeGetSpecialFolderPath(int folder, DWORD bufferChars, LPWSTR buffer) {
    if (buffer == nullptr || folder < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Writer request = Request(Op::ReqSpecialFolder);
    request.U32(static_cast<std::uint32_t>(folder));
    Reply reply = Call(request);
    if (!reply.ok || reply.result == 0) return 0;
    std::u16string path = reply.fields.Text();
    if (Malformed(reply)) return 0;
    if (bufferChars <= path.size()) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * 2);
    return static_cast<DWORD>(path.size());
}

// ---------------------------------------------------------------------------------------------
// The entries the emulated device does not offer, and a check that every hand-written entry has
// the signature of the table.

#define RAPI_STUB(ret, name, params, args, fail)                                                   \
    RAPI_EXPORT ret name params {                                                                  \
        Ignore args;                                                                               \
        Fail(ERROR_CALL_NOT_IMPLEMENTED);                                                          \
        return fail;                                                                               \
    }
#define RAPI_LIVE(ret, name, params, args, fail)
#define RAPI_ENTRY(kind, ret, name, params, args, fail) RAPI_##kind(ret, name, params, args, fail)
TESSARK_RAPI_ENTRIES(RAPI_ENTRY)

#define RAPI_SIGNATURE(kind, ret, name, params, args, fail)                                        \
    static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name " has the table's "           \
                                                                     "signature");
TESSARK_RAPI_ENTRIES(RAPI_SIGNATURE)
