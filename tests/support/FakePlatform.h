#pragma once

#include "platform/Platform.h"
#include "support/FakeProcessApi.h"
#include "support/FakeSocketTables.h"

// The process and socket tables faked, for windows under test.
struct FakePlatform {
    FakeProcessApi processes;
    FakeSocketTables sockets;
    platform::Platform os{processes, sockets};
};
