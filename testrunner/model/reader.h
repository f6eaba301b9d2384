// Reading the stored form of a test list (little-endian, 32-bit integers
// unless said). Every block opens with a header (size >= 12, extra bytes
// skipped; data version; lowest reader version, refused above the highest
// known) and a size that counts itself and gives the block end; the reader
// moves there after the fields it knows, so newer blocks read.
//
//   list     = file header as the list's header (4), size, name, i64 id,
//              i32 target kind, target name, n, n groups,
//              [v>=1] values, [v>=4] i32 list value
//   group    = header (1), size, name, i64 id, n, n scenarios,
//              [v>=1] i32 flag, values
//   scenario = header (7), size, name, i64 id, [v>=1] run flag,
//              [v>=2] option, [v>=3] parameters, [v>=4] i32 flag, values,
//              [v=5] data sets, [v>=6] one block skipped whole, [v>=7] i64
//   values   = n, n (i32 type, type != 0: value record)
//   parameters = header (0), size, n, n (i32 block size, description)
//   description = header (2), size, name, i32, i32 (low 16 bits kept),
//              text, [v>=1] i64, [v>=2] i32 (low 16 bits kept)
//   data sets = header (0), size, n, n sets
//   set      = header (0), size, n, n (i32 type, type != 0: value record)
//
// No size read is trusted: a block ends inside its parent and not before
// the position, counts are bounded by the bytes left. Any fault fails the
// read, except an unreadable data-set header, which leaves the scenario
// without sets.
#ifndef QG_TESTRUNNER_MODEL_READER_H_
#define QG_TESTRUNNER_MODEL_READER_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "support/qgbuffer.h"
#include "testrunner/model/element.h"

struct LectureListe {
  // Called for a scenario stored before data sets were kept in the list:
  // fills its sets from the legacy data-set file. Null: no sets.
  std::function<void(CScenarioBase& scenario)> fnJeuxAnciens;
};

// Reads a whole list (the buffer's file header first) into `list`.
bool bLitListe(CQGBuffer& b, CListeTestBase& list, const LectureListe& context);

// Reads one data-set block ending no later than `parent_end` and adds it to
// `sets` with exactly `nb_params` values.
bool bLitJeuDeTest(CQGBuffer& b, int64_t parent_end, size_t nb_params, CDonneesDeTest& sets);

// Reads the item "Données" of a legacy data-set record: one set block.
bool bLitJeuAncien(const void* bytes, size_t size, size_t nb_params, CDonneesDeTest& sets);

// Reads one description block ending no later than `parent_end`.
bool bLitDescriptionParam(CQGBuffer& b, int64_t parent_end, CDescriptionParamTestBase& param);

#endif  // QG_TESTRUNNER_MODEL_READER_H_
