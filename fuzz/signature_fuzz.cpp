// Key and signature files as an archive's delivery may bring them: any text is read without
// harm, and none is taken for a valid signature (no one but the key's owner can make one).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/signature.h"
#include "platform/runtime_error.h"

namespace {

class MemoryFile : public orv::InputFile {
  public:
    explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() override { return bytes_.size(); }
    void readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset) {
            throw orv::RuntimeError(orv::err::kPastEndOfFile);
        }
        std::memcpy(data, bytes_.data() + offset, size);
    }

  private:
    std::string bytes_;
};

} // namespace

// The input is a public key file's text, a NUL, and a signature file's text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    const std::string keyText = input.substr(0, split);
    const std::string signatureText = split < input.size() ? input.substr(split + 1) : "";
    const auto key = orv::signature::ReadPublicKey(keyText);
    if (!key) return 0;
    const std::size_t idLength = orv::signature::KeyIdText(key->id).size();
    if (idLength < 1 || idLength > 16) std::abort();
    MemoryFile archive("PK\x05\x06 orvupd.zip");
    const orv::signature::SignatureCheck check =
        orv::signature::CheckSignature(archive, signatureText, *key);
    if (check.verdict == orv::signature::Verdict::Good) std::abort();
    if (orv::signature::VerdictText(check).empty()) std::abort();
    return 0;
}
