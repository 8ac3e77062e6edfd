// The end of a failed TB_ASSERT: the condition and its place on the error stream and in the log.
#include "common/common.h"

#include "platform/log.h"

#include <cstdio>
#include <cstdlib>

void tb_assert_failed(const char* condition, const char* file, int line) {
    fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
    log("%s:%d: assertion failed: %s\n", file, line, condition);
    log_close();
    abort();
}
