// Writing the pictures and animations of --render so that nothing is lost: a symbolic link
// is followed to the file it names, only a regular file that may itself be written is ever
// replaced, its mode (and, for root, its owner) is kept, and "-" means standard output.
#pragma once

#include <memory>
#include <string>
#include <vector>

// Writes bytes to path, as a CFileBeingWritten (below) written at once: never left
// half-written, a file with other hard links written in place so that they stay one file, and
// nothing put in place once an end signal has been caught (see end_signals.h): the target
// stays as it was. Returns an empty string on success, else a message naming the file and the
// system's reason.
std::string WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes);

// Whether WriteFileSafely could write path, checked before a long render: standard output
// that is not a terminal, a regular file that may be written, or a new file in a folder that
// takes one. Returns an empty string when it could, else the same kind of message.
std::string CheckFileWritable(const std::string& path);

// A file written as it is made, an animation frame by frame, and put in place only when whole:
// written to a temporary file beside the target, then renamed over it. A target with other
// hard links, or another user's that this user may write, or one in a folder that takes no
// new file, stays the same file: the temporary file (made wherever one can be) is copied into
// it, after room for it has been reserved. The object removes its temporary file unless it
// was put in place. Nothing is held in memory.
class CFileBeingWritten {
public:
    // Checks path as CheckFileWritable does and makes the temporary file.
    explicit CFileBeingWritten(const std::string& path);
    ~CFileBeingWritten();
    CFileBeingWritten(const CFileBeingWritten&) = delete;
    CFileBeingWritten& operator=(const CFileBeingWritten&) = delete;

    // Why the file cannot be written, or an empty string.
    const std::string& Error() const { return m_error; }
    // The temporary file to write, by name (the encoders' libraries open their files so).
    const std::string& TemporaryPath() const { return m_temporary; }
    // Puts what was written in place, unless an end signal has been caught. Returns an empty
    // string, or a message naming the file and the reason.
    std::string PutInPlace();

private:
    struct Place;
    std::string m_name;
    std::unique_ptr<Place> m_place;
    std::string m_temporary;
    std::string m_error;
};

// Takes away a file this run made, as a run cut short or failed does; says on stderr when it
// cannot.
void TakeAwayFile(const std::string& path);

// Whether path names something already (a link counts, whether or not its file exists).
bool FileExists(const std::string& path);

// "cannot write 'NAME': reason", the one line every failure to write a file is said in, with
// NAME shown on one line whatever it holds.
std::string CannotWrite(const std::string& name, const std::string& reason);
