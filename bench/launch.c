/* Times pairs of command lines inside Wine, alternately, so that whatever
   else the machine does falls on both alike.
       launch.exe RUNS PAIRS OUT IN
   PAIRS holds one pair a line: name, TAB, command line A, TAB, command line B.
   Each run writes its standard output to the file OUT and reads the file IN.
   Prints, a pair a line: name, the median of A and of B in milliseconds. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static double Run(char *command, const char *out, const char *in)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE output = CreateFileA(out, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    HANDLE input = CreateFileA(in, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, start, end;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, DETACHED_PROCESS, NULL, NULL, &startup,
                        &process)) {
        fprintf(stderr, "cannot start: %.60s\n", command);
        exit(1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(output);
    CloseHandle(input);
    return (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

static int Compare(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static double Median(double *times, int count)
{
    qsort(times, count, sizeof *times, Compare);
    return count % 2 ? times[count / 2] : (times[count / 2 - 1] + times[count / 2]) / 2;
}

int main(int argc, char **argv)
{
    static char line[80000], a[40000], b[40000];
    int runs = atoi(argv[1]);
    FILE *pairs = fopen(argv[2], "r");
    double *timesA = malloc(runs * sizeof *timesA), *timesB = malloc(runs * sizeof *timesB);
    while (fgets(line, sizeof line, pairs)) {
        char *name = strtok(line, "\t"), *first = strtok(NULL, "\t"), *second = strtok(NULL, "\t\r\n");
        if (!second)
            continue;
        Run(strcpy(a, first), argv[3], argv[4]); /* warm-up */
        Run(strcpy(b, second), argv[3], argv[4]);
        for (int i = 0; i < runs; i++) {
            /* A B, then B A: a drift in time falls on both alike. */
            if (i % 2 == 0) {
                timesA[i] = Run(strcpy(a, first), argv[3], argv[4]);
                timesB[i] = Run(strcpy(b, second), argv[3], argv[4]);
            } else {
                timesB[i] = Run(strcpy(b, second), argv[3], argv[4]);
                timesA[i] = Run(strcpy(a, first), argv[3], argv[4]);
            }
        }
        printf("%s\t%.3f\t%.3f\n", name, Median(timesA, runs), Median(timesB, runs));
        fflush(stdout);
    }
    return 0;
}
