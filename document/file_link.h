// File links: parameters whose value is a key naming a file.
//
// A key names a file of the authoring machine (path, modification time), a
// numbered resource of a resource module (module name, resource number), or a
// file that exists only in memory (path, a number unique in the process).
// The resource manager keeps bytes, textures, meshes and effects under these
// keys and resolves a link on demand.
#pragma once

#include <string>

#include "document/archive.h"
#include "document/media_param.h"

struct DS_LinkKey {
    std::u16string path;
    INT64 stamp = 0;

    // By path, unit by unit as unsigned 16-bit values (case matters, and a
    // prefix comes before the longer path), then by stamp as signed numbers.
    static bool Less(const DS_LinkKey& a, const DS_LinkKey& b) {
        int c = a.path.compare(b.path);
        if (c != 0) return c < 0;
        return a.stamp < b.stamp;
    }
    bool operator<(const DS_LinkKey& o) const { return Less(*this, o); }
    bool operator==(const DS_LinkKey& o) const { return stamp == o.stamp && path == o.path; }
};

class DS_FileLink3 : public MediaParam {
public:
    // Empty path, stamp 0.
    DS_FileLink3() = default;
    // path = module name, stamp = number sign-extended.
    DS_FileLink3(INT resource, const std::u16string& module) { ConstructFromResource(resource, module); }
    explicit DS_FileLink3(const DS_LinkKey& key) : key(key) {}
    explicit DS_FileLink3(const DS_ResFileData& record) { ConstructFromFileData(record); }
    // The key only; controls are not copied.
    DS_FileLink3(const DS_FileLink3& other) : MediaParam(), key(other.key) {}
    DS_FileLink3& operator=(const DS_FileLink3& other) {
        key = other.key;
        return *this;
    }
    ~DS_FileLink3() override = default;

    void ConstructFromResource(INT resource, const std::u16string& module);
    void ConstructFromKey(const DS_LinkKey& k) { key = k; }
    // A record with a resource number gives (module, number as unsigned
    // 32-bit); one without gives (path, next value of the process-wide
    // in-memory counter), so every in-memory file gets a key of its own.
    void ConstructFromFileData(const DS_ResFileData& record);
    void CopyConstruct(const DS_FileLink3& other) { key = other.key; }

    // A different key is stored and the controls are told (null source).
    void SetKey(const DS_LinkKey& k) {
        if (k == key) return;
        key = k;
        NotifyControls(nullptr);
    }
    const DS_LinkKey& GetKey() const { return key; }

    // From the last "." of the path to its end, ASCII letters lower-cased;
    // empty without a ".".  A "." in a directory name counts too.
    std::u16string GetExtension() const;

    DS_LinkKey key;
};

class DS_ImageFileLink : public DS_FileLink3 {
public:
    using DS_FileLink3::DS_FileLink3;
    DS_ImageFileLink() = default;
    DS_ImageFileLink(const DS_ImageFileLink& other) : DS_FileLink3(other) {}
    DS_ImageFileLink& operator=(const DS_ImageFileLink&) = default;
    void ConstructFromLink(const DS_FileLink3& other) { CopyConstruct(other); }
};

class DS_MeshFile : public DS_FileLink3 {
public:
    using DS_FileLink3::DS_FileLink3;
    DS_MeshFile() = default;
    DS_MeshFile(const DS_MeshFile& other) : DS_FileLink3(other) {}
    DS_MeshFile& operator=(const DS_MeshFile&) = default;
};

class DS_HLSLEffectFile : public DS_FileLink3 {
public:
    using DS_FileLink3::DS_FileLink3;
    DS_HLSLEffectFile() = default;
    DS_HLSLEffectFile(const DS_HLSLEffectFile& other) : DS_FileLink3(other) {}
    DS_HLSLEffectFile& operator=(const DS_HLSLEffectFile&) = default;
};

// The process-wide in-memory link counter: the stamp the next in-memory link
// gets.  It starts at 0 and is never reset.
INT DS_PeekInMemoryLinkCounter();

// What writing a link needs of the resource manager: when a link with a path
// is written, the manager's saved-files entry for its key becomes a copy of
// its all-files entry, so the file's bytes travel with the document.  The
// resource manager implements this and is made the current store with itself.
class DS_LinkFileStore {
public:
    virtual ~DS_LinkFileStore() = default;
    virtual void SaveLinkFiles(const DS_LinkKey& key) = 0;
};
DS_LinkFileStore* GetCurrentLinkFileStore();
void SetCurrentLinkFileStore(DS_LinkFileStore* store);

// string path, int64 stamp.  With no current store the key is written alone
// (a document built without a resource manager carries no file bytes).
void WriteFileLink(DS_IOF_Virtual& archive, const DS_FileLink3& link);
// The key is stored directly: no control is told, no binding fires.
void ReadFileLink(DS_IOF_Virtual& archive, DS_FileLink3& link);
