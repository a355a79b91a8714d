// A sound of the scene: a name and the bytes of a sound file with the path it
// had on the authoring machine.
//
// Record: class name "DS_AudioFile", int32 version 1, string name, file blob.
#pragma once

#include <string>

#include "document/archive.h"
#include "document/item.h"

class DS_AudioFile : public DS_IOF_Item {
public:
    DS_AudioFile() = default;
    ~DS_AudioFile() override = default;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    bool WriteRecord(DS_IOF_Virtual& archive);

    // Makes the file playable from disk, once per item after the document is
    // read:
    //  - no bytes: nothing to do (the stored path is what plays);
    //  - the stored path names an existing file: that file plays, the bytes go;
    //  - otherwise the bytes are written to the temporary folder under the
    //    stored file name when it is a plain name (else a generated one), to a
    //    new file renamed into place.  A name this process already wrote with
    //    other bytes gets a name of its own; the same bytes share the file.
    //    Only after a complete write does the item take that path and drop
    //    its bytes; a failed write keeps both the bytes and the stored path.
    // Returns false when a write failed.
    bool ExtractToTemp();

    const std::u16string& GetPath() const { return file.path; }

    std::u16string name;
    DS_FileData file;
};

// One record; the class name and version are read and ignored.
DS_AudioFile* ReadAudioFile(DS_IOF_Virtual& archive);

// The file name a sound is written under in the temporary folder: the stored
// name when it is plain (no separators, not "." or "..", no control
// characters, at most 120 units), else "sound-<n>" with the stored
// extension when that is plain letters and digits.
std::u16string DS_SoundTempName(const std::u16string& storedPath, unsigned serial);
// The same as a plain stored item, for readers of sound lists that hold items
// by their base.
DS_IOF_Item* ReadAudioFileItem(DS_IOF_Virtual& archive);
