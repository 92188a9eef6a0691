// korvane: tells where the special folders live.
//   korvane KEYWORD...   prints the path of the first keyword that names a folder
//   korvane              lists the keywords and their paths, then waits for Enter
#include "../console/console.h"
#include "../folders/folders.h"
#include "arguments.h"

static const uint8_t BLACK = 0, BLUE = 1, DARK_GREY = 8, LIGHT_GREEN = 10;

// Big enough for any path; kept out of the stack.
static PathText FolderPath;

static void RunLookupMode(ArgumentWalk *arguments) {
    Text word;
    while (NextArgument(arguments, &word)) {
        FolderId id = KeywordToFolderId(NormalizeArgument(word));
        if (id < 0) continue;
        GetFolderPath(id, &FolderPath);
        WithTrailingDelimiter(&FolderPath);
        WriteColored(TextOfPath(&FolderPath), LIGHT_GREEN, BLACK, ConsoleHandle);
        return;
    }
}

static bool HasArguments(ArgumentWalk arguments) {
    Text word;
    return NextArgument(&arguments, &word);
}

int main(int argc, char **argv) {
    ConsoleHandle = GetStandardOutput();
    SetTextAttribute(ConsoleHandle, MakeTextAttribute(BLUE, BLACK));
    ClearScreen();
    SetTextAttribute(ConsoleHandle, MakeTextAttribute(DARK_GREY, BLACK));

    ArgumentWalk arguments;
    StartArguments(&arguments, argc, argv);
    if (HasArguments(arguments)) RunLookupMode(&arguments);

    // The last bytes of a file or a pipe go out only now, and may fail too.
    WriteOutRemaining();
    CheckStreamError();
    return 0;
}
