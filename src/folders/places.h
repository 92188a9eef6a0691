// Paths as places: the tidy form in which two names of one folder read
// alike, and whether a place lies at or under another. The platform makes a
// path full and compares texts (places_win32.cpp); these rules are the same
// everywhere.
#ifndef KORVANE_PLACES_H
#define KORVANE_PLACES_H

#include "folders.h"

// "\\?\C:\x" is "C:\x", and "\\?\UNC\server\share" is "\\server\share".
void DropLongPathPrefix(PathText *path);
// "C:\x\" is "C:\x" and "\\server\share\" is "\\server\share", but a drive's
// root keeps its "C:\". "/" counts as a separator too.
void DropTrailingSeparators(PathText *path);
// A drive, a colon and a separator, or a network path: a path that names a
// place wherever the program runs. "%NAME%" and "OneDrive" name none.
bool IsAbsolutePath(Text path);
// Whether a tidy path is a tidy root or lies under it, on a separator
// boundary: C:\OneDrive - Contoso\Desktop is under C:\OneDrive - Contoso,
// C:\OneDrive2 is not under C:\OneDrive. `same` compares two texts as the
// platform compares paths.
bool IsAtOrUnder(Text path, Text root, bool (*same)(Text, Text));
// Whether two tidy paths lie on one drive ("C:" and "c:") or one share
// ("\\server\share"), as `same` compares texts; a path with neither root
// has none in common with any.
bool HaveOneRoot(Text a, Text b, bool (*same)(Text, Text));
// Whether a tidy path is a root itself: a drive's ("C:\") or a share's
// ("\\server\share").
bool IsRootPlace(Text path);

// Windows (places_win32.cpp). Two paths name one place when their tidy
// forms, made full by the platform, are alike but for letter case, as the
// platform compares paths; where they are not, but name folders that
// exist, when their long forms are, so that an 8.3 name is its long name.
// Only such a pair on one root touches the disk.
bool NameOnePlace(Text a, Text b);
// A path as a place that compares as a text: made full and tidy and, off
// the network, in long names; empty for a path that names no place.
void PlaceOfPath(Text path, PathText *place);
// Where a moved folder went, for the user answered for: at or under a root
// of one of their OneDrive accounts (from their variables and each
// account's registry key), on the network (a share, or a drive the user
// has mapped to one), or elsewhere on a drive the platform has; untold
// for a drive that neither the user nor the platform has.
// FindOneDriveRoots keeps the roots of the user the thread is, whose
// drives the platform sees.
void FindOneDriveRoots();
FolderMove WhereMoved(Text now);

#endif
