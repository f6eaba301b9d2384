// Writes a test list in its stored form, each block in the version its
// element carries (test equipment: the runner itself only reads lists).
// Lowest reader versions are written as 0; a version-6 or later scenario
// gets an empty skipped block.
#ifndef QG_TESTRUNNER_MODEL_LIST_WRITER_H_
#define QG_TESTRUNNER_MODEL_LIST_WRITER_H_

#include "support/qgbuffer.h"
#include "testrunner/model/element.h"

bool bEcritListe(CQGBuffer& b, CListeTestBase& list);
// One data-set block, as the legacy data-set files hold it.
bool bEcritJeuDeTest(CQGBuffer& b, const CJeuDeTest& set);

#endif  // QG_TESTRUNNER_MODEL_LIST_WRITER_H_
