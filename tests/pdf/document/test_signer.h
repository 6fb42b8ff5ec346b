// SPDX-License-Identifier: GPL-3.0-or-later
// A throw-away signer independent of the engine: an NSS database with a
// self-signed certificate made at test time (certutil), and poppler's
// pdfsig signing and verifying with it. Shared by the engine's and the
// command line's tests of incremental updates.
#pragma once

#include <string>

#include "pdf/reader/pdf_test_builder.h"

namespace pagemint::testing {

class TestSigner {
 public:
  TestSigner() {
    const std::string db = "sql:" + ShellQuote(dir_.File("nss"));
    int status = 0;
    RunCommand("mkdir -p " + ShellQuote(dir_.File("nss")) + " && head -c 64 /dev/urandom > " +
                   ShellQuote(dir_.File("noise")) + " && certutil -N -d " + db +
                   " --empty-password 2>&1 && certutil -S -d " + db +
                   " -n signer -s 'CN=Pagemint Test Signer' -x -t CTu,Cu,Cu -k rsa -g 2048 -v 12"
                   " -z " + ShellQuote(dir_.File("noise")) + " 2>&1",
               &status);
    ready_ = status == 0;
  }
  // certutil and pdfsig worked: the tests that need signatures can run.
  bool Ready() const { return ready_; }

  // Signs in into out with a new signature field named field.
  bool Sign(const std::string& in, const std::string& out, const std::string& field) const {
    int status = 0;
    RunCommand("pdfsig -nssdir " + ShellQuote("sql:" + dir_.File("nss")) +
                   " -add-signature -nick signer -new-signature-field-name " + ShellQuote(field) +
                   " " + ShellQuote(in) + " " + ShellQuote(out) + " 2>&1",
               &status);
    return status == 0;
  }

  // What pdfsig says of file's signatures.
  struct Verdict {
    int signatures = 0;
    int valid = 0;
    std::string log;
  };
  Verdict Verify(const std::string& file) const {
    Verdict verdict;
    verdict.log = RunCommand("pdfsig -nssdir " + ShellQuote("sql:" + dir_.File("nss")) + " " +
                             ShellQuote(file) + " 2>&1");
    for (size_t at = verdict.log.find("Signature #"); at != std::string::npos;
         at = verdict.log.find("Signature #", at + 1))
      ++verdict.signatures;
    for (size_t at = verdict.log.find("Signature is Valid."); at != std::string::npos;
         at = verdict.log.find("Signature is Valid.", at + 1))
      ++verdict.valid;
    return verdict;
  }

 private:
  TempDir dir_;
  bool ready_ = false;
};

}  // namespace pagemint::testing
