// Reading the document that `save` prints and `restore` takes back:
//   {"id":"…","name":"…","model":"…","features":{"0x10":60,"contrast":50}}
// A small bounded JSON reader over the text as it is, with no heap: every
// member is checked as JSON, only "features" is read, and its keys must name
// restorable features (a code in any number syntax, or a feature name) with
// integer values from 0 to 65535.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "config/config_lookup.h"
#include "mccs/restorable.h"

// Larger documents are refused unread: a saved document is a few hundred bytes.
inline constexpr size_t kMaxSavedDocumentBytes = size_t{64} * 1024;

// Objects and arrays nest at most this deep in a document's other members.
inline constexpr int kMaxSavedDocumentDepth = 32;

// The values a document asks for, by place in restore order, then those of
// the features of one's own by their place in OwnRestorable.
struct SavedSettings {
    std::array<std::optional<uint16_t>, kRestorableCount + kMaxOwnRestorable> values;
};

enum class DocumentProblem : uint8_t {
    none,
    tooLarge,       // over kMaxSavedDocumentBytes
    notJson,        // `what` at byte `offset`
    notObject,      // JSON, but not an object
    noFeatures,     // no "features" member, or not an object
    featuresTwice,  // two "features" members
    notRestorable,  // `key` names no restorable feature
    notAnInteger,   // `key`'s value is not an integer from 0 to 65535
    givenTwice,     // `key` names a feature that an earlier key named
};

struct DocumentReading {
    DocumentProblem problem = DocumentProblem::none;
    const char* what = "";  // notJson: what the reader expected or met
    size_t offset = 0;      // notJson: the byte it stopped at
    std::string_view key;   // the feature key as written between its quotes
};

// Reads `text` into `settings`. A document that is not JSON is refused as
// such even when a feature key before its fault was refused too.
// Features of one's own in `own` (their names, in any letter case, or their
// codes) are restorable too.
DocumentReading readSavedDocument(std::string_view text, SavedSettings* settings,
                                  const OwnRestorable& own = OwnRestorable{});
