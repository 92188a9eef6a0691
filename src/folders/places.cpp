// The tidying of paths and the at-or-under rule, for every platform.
#include "places.h"

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

static bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static bool IsDriveRoot(Text path) {
    return path.length == 3 && IsLetter(path.bytes[0]) && path.bytes[1] == ':' &&
           IsSeparator(path.bytes[2]);
}

void DropLongPathPrefix(PathText *path) {
    Text text = TextOfPath(path);
    size_t drop = 0;
    if (BeginsInAnyCase(text, "\\\\?\\UNC\\"))
        drop = 6; // "\\?\UNC\server" becomes "\\server": its last two bytes
    else if (BeginsInAnyCase(text, "\\\\?\\"))
        drop = 4;
    if (drop == 6)
        path->bytes[6] = '\\';
    memmove(path->bytes, path->bytes + drop, path->length - drop);
    path->length -= drop;
}

void DropTrailingSeparators(PathText *path) {
    while (path->length > 1 && IsSeparator(path->bytes[path->length - 1]) &&
           !IsDriveRoot(TextOfPath(path)))
        path->length--;
}

bool IsAbsolutePath(Text path) {
    if (path.length >= 2 && IsSeparator(path.bytes[0]) && IsSeparator(path.bytes[1]))
        return true;
    return path.length >= 3 && IsDriveRoot(Text{path.bytes, 3});
}

bool IsAtOrUnder(Text path, Text root, bool (*same)(Text, Text)) {
    // A drive's root is compared as its drive, "C:", which every path on
    // the drive begins with before its first separator.
    if (root.length > 0 && IsSeparator(root.bytes[root.length - 1]))
        root.length--;
    if (root.length == 0)
        return false;
    for (size_t end = 1; end <= path.length; end++)
        if ((end == path.length || IsSeparator(path.bytes[end])) &&
            same(Text{path.bytes, end}, root))
            return true;
    return false;
}

// "C:" of a drive's path; "\\server\share" of a network path; else empty.
static Text RootOf(Text path) {
    if (path.length >= 2 && IsLetter(path.bytes[0]) && path.bytes[1] == ':')
        return Text{path.bytes, 2};
    if (path.length < 3 || !IsSeparator(path.bytes[0]) || !IsSeparator(path.bytes[1]) ||
        IsSeparator(path.bytes[2]))
        return Text{path.bytes, 0};
    size_t end = 2, separators = 0;
    for (; end < path.length; end++)
        if (IsSeparator(path.bytes[end]) && ++separators == 2)
            break;
    // A server alone, or a server and an empty share, is no root.
    bool whole = separators >= 1 && !IsSeparator(path.bytes[end - 1]);
    return Text{path.bytes, whole ? end : 0};
}

bool IsRootPlace(Text path) {
    return path.length > 0 && (IsDriveRoot(path) || RootOf(path).length == path.length);
}

bool HaveOneRoot(Text a, Text b, bool (*same)(Text, Text)) {
    Text one = RootOf(a), other = RootOf(b);
    return one.length > 0 && other.length > 0 && same(one, other);
}
