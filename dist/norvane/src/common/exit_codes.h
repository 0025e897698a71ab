// Exit statuses of both programs: success, a failure reported on the console, a usage error
// (norvane-query only; the converter reports its usage errors as failures).
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
