// What listing mode must write, built from what the platform reports.
#ifndef KORVANE_TESTS_LISTING_H
#define KORVANE_TESTS_LISTING_H

#include <map>
#include <string>

std::string ExpectedListing();
// What korvane /known, or /moved, writes, as text or JSON, from the
// manager's own list; movedTo gives where a moved folder is by its name,
// "local" where it names none.
std::string EveryKnownFolder(bool json, bool movedOnly = false,
                             const std::map<std::string, std::string> &movedTo = {});
// A path as JSON holds it: with its trailing backslash, escaped in ASCII;
// null for none.
std::string JsonPath(const std::string &path);
// Whether `text` is the one-line report of a stream failure with this number.
bool IsReportLine(const std::string &text, unsigned number);

#endif
