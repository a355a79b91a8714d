#include "tools/container/container_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "platform/win32/resource_container_format.h"

namespace tessaloom::container {

namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

std::string UpperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// "10", "RCDATA" or a name; false for an empty or over-long name.
bool ParseType(const std::string& text, Item& item) {
    if (text.empty()) return false;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (text.size() > 5) return false;
        unsigned long v = std::stoul(text);
        if (v < 1 || v > 0xFFFF) return false;
        item.typeId = static_cast<uint16_t>(v);
        return true;
    }
    std::string upper = UpperAscii(text);
    if (upper == "RCDATA") {
        item.typeId = 10;
        return true;
    }
    for (char c : upper)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) return false;
    if (upper.size() > kMaxTypeNameUnits) return false;
    item.typeName = upper;
    return true;
}

bool ParseNumber(const std::string& text, uint16_t& out) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    unsigned long v = std::stoul(text);
    if (v < 1 || v > 0xFFFF) return false;
    out = static_cast<uint16_t>(v);
    return true;
}

bool ReadBytes(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

bool WriteContainer(const std::vector<Item>& items, std::vector<uint8_t>& out, std::string* error) {
    std::set<std::pair<std::string, uint32_t>> seen;
    for (const auto& item : items) {
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + string&&.
        std::string type;
        if (item.typeName.empty()) {
            type = std::to_string(item.typeId);
        } else {
            type.append("\"").append(UpperAscii(item.typeName)).append("\"");
        }
        if (item.typeName.empty() ? item.typeId == 0 : (item.typeId != 0 || item.typeName.size() > kMaxTypeNameUnits))
            return Fail(error, "resource " + std::to_string(item.id) + ": bad type " + type);
        if (item.id == 0) return Fail(error, "resource of type " + type + ": number 0 is not allowed");
        if (!seen.emplace(type, item.id).second)
            return Fail(error, "two resources of type " + type + " with number " + std::to_string(item.id));
    }
    // Header, table, type names, then the bytes, each resource 8-aligned.
    uint64_t size = kHeaderSize + kEntrySize * items.size();
    std::vector<uint64_t> nameAt(items.size()), dataAt(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].typeName.empty()) {
            nameAt[i] = size;
            size += 2 * items[i].typeName.size();
        }
    }
    for (size_t i = 0; i < items.size(); ++i) {
        size = (size + 7) & ~uint64_t{7};
        dataAt[i] = size;
        size += items[i].bytes.size();
    }
    if (size > 0xFFFFFFFFu) return Fail(error, "container would exceed 4 GiB");
    out.assign(static_cast<size_t>(size), 0);
    std::copy(std::begin(kMagic), std::end(kMagic), out.begin());
    Put32(out, 8, kVersion);
    Put32(out, 12, static_cast<uint32_t>(items.size()));
    Put32(out, 16, static_cast<uint32_t>(kHeaderSize));
    Put32(out, 20, static_cast<uint32_t>(size));
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        size_t e = kHeaderSize + kEntrySize * i;
        std::string upper = UpperAscii(item.typeName);
        Put32(out, e, item.typeName.empty() ? item.typeId : 0);
        Put32(out, e + 4, static_cast<uint32_t>(nameAt[i]));
        Put32(out, e + 8, static_cast<uint32_t>(upper.size()));
        Put32(out, e + 12, item.id);
        Put32(out, e + 16, static_cast<uint32_t>(dataAt[i]));
        Put32(out, e + 20, static_cast<uint32_t>(item.bytes.size()));
        for (size_t k = 0; k < upper.size(); ++k) out[nameAt[i] + 2 * k] = static_cast<uint8_t>(upper[k]);
        std::copy(item.bytes.begin(), item.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt[i]));
    }
    Put32(out, 24, Crc32(out.data() + kHeaderSize, out.size() - kHeaderSize));
    return true;
}

bool ItemsFromFolder(const std::string& folder, std::vector<Item>& items, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Fail(error, folder + ": not a folder");
    std::vector<fs::path> typeDirs;
    for (const auto& entry : fs::directory_iterator(folder, ec)) typeDirs.push_back(entry.path());
    std::sort(typeDirs.begin(), typeDirs.end());
    for (const auto& dir : typeDirs) {
        if (!fs::is_directory(dir, ec)) return Fail(error, dir.string() + ": expected a folder named after a type");
        Item proto;
        if (!ParseType(dir.filename().string(), proto))
            return Fail(error, dir.string() + ": folder name is not a resource type");
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir, ec)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::string stem = file.filename().string();
            stem = stem.substr(0, stem.find('.'));
            Item item = proto;
            if (!fs::is_regular_file(file, ec) || !ParseNumber(stem, item.id))
                return Fail(error, file.string() + ": expected a file named <number>[.extension]");
            if (!ReadBytes(file, item.bytes)) return Fail(error, file.string() + ": cannot read");
            items.push_back(std::move(item));
        }
    }
    return true;
}

bool ItemsFromManifest(const std::string& manifest, std::vector<Item>& items, std::string* error) {
    std::ifstream in(manifest);
    if (!in) return Fail(error, manifest + ": cannot open");
    std::filesystem::path base = std::filesystem::path(manifest).parent_path();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string where = manifest + ":" + std::to_string(number) + ": ";
        std::istringstream words(line);
        std::string type, id, path;
        if (!(words >> type) || type[0] == '#') continue;
        if (!(words >> id >> path)) return Fail(error, where + "expected TYPE NUMBER PATH");
        std::string extra;
        if (words >> extra) return Fail(error, where + "unexpected text after the path");
        Item item;
        if (!ParseType(type, item)) return Fail(error, where + "'" + type + "' is not a resource type");
        if (!ParseNumber(id, item.id)) return Fail(error, where + "'" + id + "' is not a number in 1..65535");
        std::filesystem::path file = std::filesystem::path(path).is_absolute() ? std::filesystem::path(path) : base / path;
        if (!ReadBytes(file, item.bytes)) return Fail(error, where + "cannot read " + file.string());
        items.push_back(std::move(item));
    }
    return true;
}

}  // namespace tessaloom::container
