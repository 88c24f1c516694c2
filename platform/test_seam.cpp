#include "platform/test_seam.h"

namespace {
int g_writesUntilFault = 0;  // 0 off, else the writes left until the failing one
}  // namespace

void CeFailNthWrite(int k) { g_writesUntilFault = k > 0 ? k : 0; }

bool CeTestWriteFails() { return g_writesUntilFault > 0 && --g_writesUntilFault == 0; }
