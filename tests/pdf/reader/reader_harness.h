// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the readers over bytes in memory without the component, recording
// what they report.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdf/reader/object_loader.h"
#include "pdf/reader/structure_reader.h"
#include "pdf/reader/xref_reader.h"

namespace pagemint::testing {

class RecordingReporter : public TgtReadReporter {
 public:
  bool WantsStatus() const override { return true; }
  void Status(const std::string& message) override { statuses.push_back(message); }
  bool WantsWarnings() const override { return true; }
  void Warning(const std::string& message) override { warnings.push_back(message); }
  void Progress(int32_t percentage) override { progress.push_back(percentage); }

  std::vector<std::string> statuses;
  std::vector<std::string> warnings;
  std::vector<int32_t> progress;
};

struct ReaderHarness {
  ReaderHarness()
      : state(std::make_unique<TgtPDFDocumentState>()),
        loader(std::make_unique<TgtObjectLoader>(*state, reporter)) {}

  void ReadXRef(const std::string& file) {
    state->source = std::make_shared<TgtDocumentSource>(std::make_unique<TMemoryStream>(file));
    TgtXRefReader(*loader).ReadFromStream(*state->source->Stream());
  }
  void ReadAll(const std::string& file) {
    ReadXRef(file);
    TgtStructureReader(*loader).ReadCatalog();
  }
  TgtPDFIndirectObject* Registered(int32_t number) const {
    return state->store->Find(state->serial, number, 0);
  }
  TgtPDFDictObject& Page(int index) const {
    return state->pages.at(index)->Content()->AsDictionary();
  }

  RecordingReporter reporter;
  std::unique_ptr<TgtPDFDocumentState> state;
  std::unique_ptr<TgtObjectLoader> loader;
};

}  // namespace pagemint::testing
