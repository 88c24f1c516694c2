// The test seam of the platform layer: the hooks that only tests set, kept apart from the layer's
// code, as a fault injection should be. The layer calls through them; as long as no test sets
// one, each behaves exactly as if it were not there.
#pragma once

// Tests only: the k-th CeWriteRecordProps call from now on (k from 1) fails with ERROR_WRITE_FAULT
// and writes nothing; the calls before and after it succeed as usual. 0 takes the fault back.
void CeFailNthWrite(int k);

// The layer's side: whether the write about to be made is the one CeFailNthWrite named (each call
// counts one write). Always false while no test has set a fault.
bool CeTestWriteFails();
