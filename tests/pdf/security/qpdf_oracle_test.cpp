// SPDX-License-Identifier: GPL-3.0-or-later
// qpdf as an independent second opinion: files it encrypts are opened by
// our decryptor with the same file key, files we encrypt are opened by it,
// and the encrypted files of the corpus give the key it computes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "pdf/security/security.h"

namespace pagemint {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
  int status = -1;
  std::string out;
};

// Runs a shell command; stdout is captured, stderr discarded.
CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool HaveQpdf() {
  static const bool have = RunCommand("qpdf --version").status == 0;
  return have;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const char c : bytes) {
    text.push_back(kDigits[static_cast<uint8_t>(c) >> 4]);
    text.push_back(kDigits[static_cast<uint8_t>(c) & 15]);
  }
  return text;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "pagemint_security_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// A PDF file from numbered object bodies (object i + 1 is bodies[i]) with
// a correct cross-reference table.
std::string BuildPdf(const std::vector<std::string>& bodies, const std::string& trailer_extra) {
  std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < bodies.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
  for (const size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R /Info 5 0 R" +
         trailer_extra + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

const std::string kContent = "BT /F1 12 Tf 10 10 Td (Hello oracle) Tj ET";
const std::string kTitle = "Secret title";

std::string StreamObject(const std::string& data) {
  return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// Catalog, pages, page, content stream (4), information (5).
std::vector<std::string> PlainBodies(const std::string& content, const std::string& title_token) {
  return {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
          StreamObject(content), "<< /Title " + title_token + " >>"};
}

// The bytes of a PDF string token as qpdf prints it: <hex> or (literal)
// with backslash escapes.
std::string StringBytes(const std::string& token) {
  std::string bytes;
  if (token.front() == '<') {
    std::string digits;
    for (const char c : token) {
      if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
      bytes.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
  }
  for (size_t i = 1; i + 1 < token.size(); ++i) {
    if (token[i] != '\\') {
      bytes.push_back(token[i]);
      continue;
    }
    const char e = token[++i];
    if (e >= '0' && e <= '7') {
      int value = 0;
      for (int k = 0; k < 3 && i < token.size() - 1 && token[i] >= '0' && token[i] <= '7';
           ++k, ++i) {
        value = value * 8 + (token[i] - '0');
      }
      --i;
      bytes.push_back(static_cast<char>(value));
      continue;
    }
    const std::string from = "nrtbf", to = "\n\r\t\b\f";
    const size_t at = from.find(e);
    bytes.push_back(at == std::string::npos ? e : to[at]);
  }
  return bytes;
}

const char kStringToken[] = R"((<[0-9a-fA-F\s]*>|\((?:\\[\s\S]|[^\\)])*\)))";

std::optional<std::string> Match(const std::string& text, const std::string& pattern) {
  std::smatch m;
  if (!std::regex_search(text, m, std::regex(pattern))) return std::nullopt;
  return m[1].str();
}

struct EncryptedFile {
  std::unique_ptr<TgtPDFDictObject> encrypt;
  std::optional<std::string> id;
};

// The encryption dictionary and first /ID string as qpdf prints them,
// rebuilt as objects (flat entries only; /CF keeps just its /CFM).
EncryptedFile ReadWithQpdf(const fs::path& file, const std::string& password) {
  const std::string options = " --password=" + Quote(password) + " " + Quote(file.string());
  const std::string trailer = RunCommand("qpdf --show-object=trailer" + options).out;
  EncryptedFile result;
  if (auto id = Match(trailer, std::string(R"(/ID \[ )") + kStringToken))
    result.id = StringBytes(*id);
  const auto number = Match(trailer, R"(/Encrypt (\d+) \d+ R)");
  if (!number) return result;
  const std::string text = RunCommand("qpdf --show-object=" + *number + options).out;
  result.encrypt = std::make_unique<TgtPDFDictObject>();
  auto& dict = *result.encrypt;
  if (auto filter = Match(text, R"(/Filter (/\w+))")) dict.SetName("/Filter", *filter);
  for (const char* key : {"/V", "/R", "/Length", "/P"}) {
    // The last match: a nested crypt filter's /Length comes first.
    const std::regex pattern(std::string(key) + R"( (-?\d+))");
    std::string value;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it) {
      value = (*it)[1].str();
    }
    if (!value.empty()) dict.SetValue(key, std::make_unique<TgtPDFInt64Object>(std::stoll(value)));
  }
  for (const char* key : {"/O", "/U", "/OE", "/UE", "/Perms"}) {
    if (auto token = Match(text, std::string(key) + " " + kStringToken)) {
      dict.SetValue(key, std::make_unique<TgtPDFStringObject>("(" + StringBytes(*token) + ")"));
    }
  }
  if (auto method = Match(text, R"(/CFM (/\w+))")) {
    auto std_cf = std::make_unique<TgtPDFDictObject>();
    std_cf->SetName("/CFM", *method);
    auto cf = std::make_unique<TgtPDFDictObject>();
    cf->SetValue("/StdCF", std::move(std_cf));
    dict.SetValue("/CF", std::move(cf));
  }
  for (const char* key : {"/StmF", "/StrF"}) {
    if (auto name = Match(text, std::string(key) + R"( (/\w+))")) dict.SetName(key, *name);
  }
  return result;
}

std::string QpdfKey(const fs::path& file, const std::string& password) {
  const std::string out =
      RunCommand("qpdf --show-encryption --show-encryption-key --password=" + Quote(password) +
                 " " + Quote(file.string()))
          .out;
  return Match(out, R"(Encryption key = ([0-9a-f]+))").value_or("");
}

std::unique_ptr<TgtPDFDecrypt> Decryptor(const EncryptedFile& file) {
  auto decrypt = MakeDecryptor(*file.encrypt, file.id);
  decrypt->SetOwnerPasswordMaker([] { return std::string("unknown"); });
  return decrypt;
}

// Files that qpdf encrypts: both passwords are accepted in their roles,
// the file key is qpdf's, and the content stream decrypts to its text.
TEST(QpdfOracleTest, OpensFilesThatQpdfEncrypted) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf is not installed";
  TempDir dir;
  const fs::path in = dir.Path() / "in.pdf";
  WriteFile(in, BuildPdf(PlainBodies(kContent, "(" + kTitle + ")"), ""));
  const struct {
    const char* name;
    const char* options;
    TgtPDFEncryptionLevel level;
  } cases[] = {
      {"40", "user owner 40 --", el40bit},
      {"128", "user owner 128 --use-aes=n --", el128bit},
      {"128-print", "'' owner 128 --print=none --modify=none --use-aes=n --", el128bit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = dir.Path() / (std::string(c.name) + ".pdf");
    const CommandResult qpdf = RunCommand(
        "qpdf --allow-weak-crypto --compress-streams=n --object-streams=disable --encrypt " +
        std::string(c.options) + " " + Quote(in.string()) + " " + Quote(out.string()));
    ASSERT_TRUE(qpdf.status == 0 || qpdf.status == 3) << "qpdf status " << qpdf.status;
    const std::string user = std::string(c.name) == "128-print" ? "" : "user";
    const EncryptedFile file = ReadWithQpdf(out, user);
    ASSERT_TRUE(file.encrypt && file.id);

    auto as_user = Decryptor(file);
    EXPECT_EQ(as_user->Level(), c.level);
    TgtPDFEncryptionSettings user_settings;
    ASSERT_TRUE(as_user->Authenticate(user_settings, user));
    EXPECT_FALSE(as_user->IsOwner());
    EXPECT_EQ(Hex(as_user->FileKey().substr(0, as_user->KeyLength())), QpdfKey(out, user));

    auto as_owner = Decryptor(file);
    TgtPDFEncryptionSettings owner_settings;
    ASSERT_TRUE(as_owner->Authenticate(owner_settings, "owner"));
    EXPECT_TRUE(as_owner->IsOwner());
    EXPECT_EQ(owner_settings.UserPassword(), user);
    EXPECT_EQ(as_owner->FileKey(), as_user->FileKey());

    TgtPDFEncryptionSettings untouched;
    EXPECT_FALSE(Decryptor(file)->Authenticate(untouched, "wrong"));

    // qpdf renumbers: find the one stream, keep its number, decrypt its data.
    const std::string bytes = ReadFile(out);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        bytes, m, std::regex(R"((\d+) (\d+) obj\s*<<\s*/Length (\d+)\s*>>\s*stream\r?\n)")));
    const std::string data =
        bytes.substr(static_cast<size_t>(m.position(0) + m.length(0)), std::stoul(m[3]));
    EXPECT_EQ(as_user->DecryptString(data, std::stoi(m[1]), std::stoi(m[2])), kContent);
    if (std::string(c.name) == "128-print") {
      EXPECT_FALSE(user_settings.UserPermissions().Has(AllowPrint));
      EXPECT_FALSE(user_settings.UserPermissions().Has(AllowModify));
      EXPECT_TRUE(user_settings.UserPermissions().Has(AllowCopy));
    }
  }
}

// Files that we encrypt: qpdf accepts both passwords, finds our key, and
// decrypts our string and stream.
TEST(QpdfOracleTest, QpdfOpensFilesWeEncrypted) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf is not installed";
  TempDir dir;
  const struct {
    TgtPDFEncryptionLevel level;
    const char* user;
    const char* owner;
  } cases[] = {{el40bit, "user", "owner"}, {el128bit, "user", "owner"}, {el128bit, "", "owner"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(KeyLengthOf(c.level)) + " '" + c.user + "'");
    TgtPDFEncryptionSettings settings;
    settings.SetEnabled(true);
    settings.SetLevel(c.level);
    settings.SetUserPassword(c.user);
    settings.SetOwnerPassword(c.owner);
    TgtPDFEncryption encryption("Output1.pdf", "D:20240101000000", settings);
    std::vector<std::string> bodies =
        PlainBodies(encryption.EncryptObjectData(kContent, 4, 0),
                    HexStringText(encryption.EncryptObjectData(kTitle, 5, 0)));
    const auto dict = encryption.BuildEncryptDictionary();
    bodies.push_back("<< /Filter /Standard /O " + dict->Lookup("/O")->AsString().Text() + " /U " +
                     dict->Lookup("/U")->AsString().Text() + " /P " +
                     std::to_string(encryption.PermissionValue()) + " /V " +
                     std::to_string(dict->Lookup("/V")->AsInteger().Value()) + " /R " +
                     std::to_string(dict->Lookup("/R")->AsInteger().Value()) + " /Length " +
                     std::to_string(dict->Lookup("/Length")->AsInteger().Value()) + " >>");
    const std::string id = HexStringText(encryption.GetFileID());
    const fs::path out = dir.Path() / "ours.pdf";
    WriteFile(out, BuildPdf(bodies, " /Encrypt 6 0 R /ID [" + id + id + "]"));

    const std::string file = " " + Quote(out.string());
    EXPECT_EQ(RunCommand("qpdf --check --password=" + Quote(c.user) + file).status, 0);
    const std::string as_owner =
        RunCommand("qpdf --show-encryption --show-encryption-key --password=owner" + file).out;
    EXPECT_NE(as_owner.find("Supplied password is owner password"), std::string::npos) << as_owner;
    EXPECT_EQ(QpdfKey(out, c.user), Hex(encryption.EncryptionKey()));
    EXPECT_EQ(RunCommand("qpdf --show-object=5 --password=" + Quote(c.user) + file).out,
              "<< /Title (" + kTitle + ") >>\n");
    EXPECT_EQ(
        RunCommand("qpdf --show-object=4 --filtered-stream-data --password=" + Quote(c.user) + file)
            .out,
        kContent);
    EXPECT_NE(RunCommand("qpdf --check --password=wrong" + file).status, 0);
  }
}

// Encrypted files of the corpus: the right password is accepted in its
// role with qpdf's file key, RC4, AES-128 and AES-256 alike.
TEST(QpdfOracleTest, CorpusFiles) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf is not installed";
  const fs::path corpus = fs::path(PAGEMINT_CORPUS_DIR) / "pdf/real/qpdf";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  const struct {
    const char* file;
    const char* password;
    bool owner;
  } cases[] = {
      {"encrypted-40-bit-R3.pdf", "623", false},  // revision 3 with a 40-bit key
      {"bad-encryption-length.pdf", "", false},   // /Length misspelt: 128 bits meant
      {"bad-encryption-length.pdf", "o", true},
      {"c-r2.pdf", "user1", false},
      {"c-r3.pdf", "owner2", true},
      {"20-pages.pdf", "user", false},
      {"enc-R2,V1,U=view,O=master.pdf", "master", true},
      {"enc-R3,V2,O=master.pdf", "", false},
      {"enc-long-password.pdf", "asdf asdf asdf asdf asdf asdf qw", true},
      {"invalid-id-xref.pdf", "", false},  // no /ID at all
      {"V4-aes.pdf", "", true},
      {"c-r4.pdf", "user2", false},
      {"c-r4.pdf", "owner2", true},
      {"enc-XI-R6,V5,U=view,O=master.pdf", "view", false},
      {"enc-XI-R6,V5,U=view,O=master.pdf", "master", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " '" + c.password + "'");
    const fs::path path = corpus / c.file;
    if (!fs::exists(path)) continue;
    const EncryptedFile file = ReadWithQpdf(path, c.password);
    ASSERT_TRUE(file.encrypt);
    auto decrypt = Decryptor(file);
    TgtPDFEncryptionSettings settings;
    ASSERT_TRUE(decrypt->Authenticate(settings, c.password));
    EXPECT_EQ(decrypt->IsOwner(), c.owner);
    EXPECT_EQ(Hex(decrypt->FileKey().substr(0, decrypt->KeyLength())), QpdfKey(path, c.password));
  }
}

}  // namespace
}  // namespace pagemint
