// corex_helper <command> <arguments...>; exit status 0 means the command did what it says.
//   sem-wait NAME               prints "waiting", then blocks in Wait
//   sem-post NAME               one Post
//   sem-trywait NAME            exit 0 when TryWait took the count, 3 when it did not
//   map-check PATH OFFSET BYTE  OpenRead; exit 0 when the byte at OFFSET is BYTE, 3 otherwise
//   map-write PATH SIZE OFFSET BYTE   OpenReadWrite SIZE bytes and store BYTE at OFFSET
//   log ROUTE FILENAME TEXT     select ROUTE, name the log file FILENAME ("-" for none), log TEXT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CoreMachDebugLog.h"
#include "CoreMappedFile.h"
#include "CoreUnixSemaphore.h"
#include "ProgramLogIdentity.h"

static int Usage()
{
    fprintf(stderr, "corex_helper: bad arguments\n");
    return 2;
}

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];

    if (command.rfind("sem-", 0) == 0) {
        CoreUnixSemaphore semaphore;
        if (!semaphore.OpenCreate(argv[2]))
            return 1;
        if (command == "sem-wait") {
            printf("waiting\n");
            fflush(stdout);
            return semaphore.Wait() ? 0 : 1;
        }
        if (command == "sem-post")
            return semaphore.Post() ? 0 : 1;
        if (command == "sem-trywait")
            return semaphore.TryWait() ? 0 : 3;
        return Usage();
    }

    if (command == "map-check" && argc == 5) {
        CoreMappedFile file;
        const size_t offset = strtoul(argv[3], nullptr, 0);
        if (!file.OpenRead(argv[2]) || offset >= file.GetSize())
            return 1;
        const UInt8 expected = UInt8(strtoul(argv[4], nullptr, 0));
        return static_cast<const UInt8*>(file.GetBase())[offset] == expected ? 0 : 3;
    }

    if (command == "map-write" && argc == 6) {
        CoreMappedFile file;
        const size_t size = strtoul(argv[3], nullptr, 0);
        const size_t offset = strtoul(argv[4], nullptr, 0);
        if (!file.OpenReadWrite(argv[2], size) || offset >= file.GetSize())
            return 1;
        static_cast<UInt8*>(file.GetBase())[offset] = UInt8(strtoul(argv[5], nullptr, 0));
        return 0;
    }

    if (command == "log" && argc == 5) {
        CoreMachDebugLogSetUseLogger(kCoreLogOutput(atoi(argv[2])));
        if (strcmp(argv[3], "-") == 0)
            g_CoreMachDebug_LogFileName[0] = 0;
        else
            snprintf(g_CoreMachDebug_LogFileName, kProgramLogFileNameSize, "%s", argv[3]);
        CoreMachDebugLogString(argv[4]);
        // A second message shows that a failed search for the file is tried again.
        CoreMachDebugLogString(argv[4]);
        return 0;
    }
    return Usage();
}
