// The three functions the host looks up by name in libdsnlink.so. Everything
// else in the library is hidden.
#include "plugin/Main_Orlek.h"

#define DSNLINK_EXPORT extern "C" __attribute__((visibility("default")))

DSNLINK_EXPORT int32_t ServerFactory(HostSdk::IClient* client, HostSdk::TServerModule** server) {
    return DsnLink::CreateServer(client, server);
}

DSNLINK_EXPORT const char* GetPcbImporterDescription() {
    return DsnLink::kImporterDescription;
}

DSNLINK_EXPORT bool ImportFileIntoPcb(const char* fileName, const char* unused, int32_t board) {
    return DsnLink::ImportFileIntoBoard(fileName, unused, board);
}
