#include "document/sound_item.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "platform/crt/fnv1a.h"
#include "platform/win32/strings.h"

#include "platform/win32/kernel.h"

namespace {

constexpr size_t kMaxTempName = 120;
constexpr int kMaxCollisionTries = 64;

// What this process wrote into the temporary folder, by path: the size and a
// hash of the bytes, so that a second item with other bytes under the same
// name gets a file of its own and one with the same bytes shares it.
struct Written {
    DWORD size;
    uint64_t hash;
};
std::map<std::u16string, Written>& WrittenFiles() {
    static std::map<std::u16string, Written> files;
    return files;
}
unsigned g_serial = 0;

// The temporary folder with a trailing separator; empty when there is none.
std::u16string TempFolder() {
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) return {};
    std::u16string folder(needed, u'\0');
    const DWORD n = GetTempPathW(needed, folder.data());
    if (n == 0 || n >= needed) return {};
    folder.resize(n);
    if (folder.back() != u'/') folder.push_back(u'/');
    return folder;
}

bool PathExists(const std::u16string& path) {
    if (path.empty()) return false;
    // A path in Windows form comes from the authoring machine and names
    // nothing here.
    return PathFileExistsW(path.c_str()) != FALSE;
}

bool IsPlainName(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxTempName || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\' || c == u':') return false;
    return true;
}

// All of `size` bytes to a new file at `target`: written to a fresh file
// beside it (CREATE_NEW: never opening an existing name or following a link)
// and renamed into place, so the target is either the complete file or
// untouched.
bool WriteNewFile(const std::u16string& target, const BYTE* data, DWORD size) {
    static unsigned counter = 0;
    const std::u16string temp = target + u".part-" + tessaloom::Utf8ToUtf16(std::to_string(GetCurrentProcessId())) + u"-" +
                                tessaloom::Utf8ToUtf16(std::to_string(counter++));
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, size, &written, nullptr) != FALSE && written == size;
    if (!CloseHandle(file)) ok = false;
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) ok = false;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

std::u16string WithSuffix(const std::u16string& name, int k) {
    size_t dot = name.rfind(u'.');
    std::u16string stem = dot == std::u16string::npos || dot == 0 ? name : name.substr(0, dot);
    std::u16string ext = dot == std::u16string::npos || dot == 0 ? std::u16string() : name.substr(dot);
    return stem + u"-" + tessaloom::Utf8ToUtf16(std::to_string(k)) + ext;
}

}  // namespace

std::u16string DS_SoundTempName(const std::u16string& storedPath, unsigned serial) {
    size_t slash = storedPath.find_last_of(u"\\/");
    std::u16string name = slash == std::u16string::npos ? storedPath : storedPath.substr(slash + 1);
    if (IsPlainName(name)) return name;
    std::u16string generated = u"sound-" + tessaloom::Utf8ToUtf16(std::to_string(serial));
    size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos && name.size() - dot >= 2 && name.size() - dot <= 9) {
        std::u16string ext = name.substr(dot);
        bool plain = true;
        for (size_t i = 1; i < ext.size(); ++i) {
            char16_t c = ext[i];
            plain = plain && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'));
        }
        if (plain) generated += ext;
    }
    return generated;
}

bool DS_AudioFile::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_AudioFile", 1);
    archive.WriteString(name);
    archive.WriteFileData(file);
    return true;
}

DS_AudioFile* ReadAudioFile(DS_IOF_Virtual& archive) {
    ReadRecordHeader(archive);
    auto item = std::make_unique<DS_AudioFile>();
    archive.ReadString(item->name);
    archive.ReadFileData(item->file);
    return item.release();
}

bool DS_AudioFile::ExtractToTemp() {
    if (file.GetSize() == 0) return true;
    if (PathExists(file.path)) {
        file.ClearBytes();
        return true;
    }

    const std::u16string folder = TempFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "sound \"%s\" could not be written: no temporary folder\n",
                     tessaloom::Utf16ToUtf8(file.path).c_str());
        return false;
    }
    const std::u16string name = DS_SoundTempName(file.path, g_serial++);
    const Written mine{file.GetSize(), tessaloom::Fnv1aOf(file.GetBytes(), file.GetSize())};
    auto& written = WrittenFiles();
    for (int k = 1; k <= kMaxCollisionTries; ++k) {
        std::u16string target = folder + (k == 1 ? name : WithSuffix(name, k));
        auto earlier = written.find(target);
        if (earlier != written.end()) {
            if (earlier->second.size == mine.size && earlier->second.hash == mine.hash && PathExists(target)) {
                file.SetPath(target);  // the same sound, already on disk
                return true;
            }
            continue;  // another sound of this process has this name
        }
        if (!WriteNewFile(target, file.GetBytes(), file.GetSize())) {
            std::fprintf(stderr, "sound \"%s\" could not be written to the temporary folder\n",
                         tessaloom::Utf16ToUtf8(target).c_str());
            return false;
        }
        written[target] = mine;
        file.SetPath(target);
        return true;
    }
    return false;
}

DS_IOF_Item* ReadAudioFileItem(DS_IOF_Virtual& archive) { return ReadAudioFile(archive); }
