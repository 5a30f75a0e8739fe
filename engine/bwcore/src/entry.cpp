#include "entry.hpp"

#include <cerrno>

namespace bwcore {

Class classify(const Entry& e) {
    if (e.kind == KIND_SYMLINK) return Class::Symlink;
    if (e.flags & PROTECTED_FLAGS) return Class::Protected;
    if (e.flags & SF_DATALESS) return Class::Dataless;
    if (e.kind == KIND_DIR) return Class::Dir;
    if (e.kind == KIND_FILE) return Class::File;
    return Class::Special;
}

std::string_view class_name(Class c) {
    switch (c) {
        case Class::Symlink: return "Symlink";
        case Class::Protected: return "Protected";
        case Class::Dataless: return "Dataless";
        case Class::Dir: return "Dir";
        case Class::File: return "File";
        case Class::Special: return "Special";
    }
    return "Special";
}

namespace entry {

std::string_view errno_reason(int err) {
    switch (err) {
        case EPERM:
        case EACCES: return "permission";
        case ENOENT: return "No such file or directory";
        case EIO: return "Input/output error";
        case ENXIO: return "Device not configured";
        case EDEADLK: return "dataless";
        case EBUSY: return "Resource busy";
        case ENOTDIR: return "Not a directory";
        case ETIMEDOUT: return "Operation timed out";
        case ELOOP: return "Too many levels of symbolic links";
        case ENAMETOOLONG: return "File name too long";
        default: return "error";
    }
}

}  // namespace entry
}  // namespace bwcore
