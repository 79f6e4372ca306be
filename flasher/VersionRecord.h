#pragma once

#include <string>

// The file in which the version query keeps the module's version for the
// printer's scripts: exactly the version's bytes, no line end.
//
// A new record is written beside the old one and renamed over it, so a crash
// or power cut leaves either the old record or the complete new one, never a
// partial file.
class VersionRecord
{
public:
    explicit VersionRecord(std::string path);

    // Deletes whatever is at the path. True when nothing is there afterwards
    // (also when nothing was there to begin with).
    bool Remove() const;

    // Replaces the record with content. False when it could not be written;
    // whatever was at the path before is then left as it was.
    bool Write(const std::string& content) const;

    const std::string& Path() const { return path_; }
    // The scratch file a write goes through, in the record's own directory.
    std::string TemporaryPath() const;

private:
    std::string path_;
};
