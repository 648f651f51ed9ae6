#include "export/safe_file.h"

#include "core/files.h"

std::string CannotWrite(const std::string& name, const std::string& reason)
{
    return "cannot write '" + ShownName(name) + "': " + reason;
}
