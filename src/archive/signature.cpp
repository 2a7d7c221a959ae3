#include "archive/signature.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/runtime_error.h"

namespace orv::signature {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
// Key and signature files are a few hundred bytes; minisign allows a trusted comment of 8 KiB.
constexpr std::uint64_t kMaxSmallFile = 16 * 1024;
constexpr std::size_t kChunk = 1 << 20;

// The bytes in a line of base64 (the original alphabet, with padding), when it holds exactly
// size of them and nothing else.
std::optional<std::vector<unsigned char>> Base64(std::string_view line, std::size_t size) {
    std::vector<unsigned char> bytes(size + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), line.data(), line.size(), nullptr, &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != line.data() + line.size() || length != size) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

// The lines of a key or signature file, each without its CR or LF.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (newline == std::string_view::npos) break;
        text.remove_prefix(newline + 1);
    }
    return lines;
}

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

struct Signature {
    bool hashed = true; // "ED": over the file's BLAKE2b-512 hash; "Ed": over the file itself
    KeyId id{};
    std::array<unsigned char, crypto_sign_BYTES> bytes{};
    std::string trustedComment;
    std::array<unsigned char, crypto_sign_BYTES> commentSignature{};
};

std::optional<Signature> ReadSignature(const std::string& text) {
    const std::vector<std::string_view> lines = Lines(text);
    if (lines.size() < 4 || !StartsWith(lines[0], kUntrustedPrefix) ||
        !StartsWith(lines[2], kTrustedPrefix)) {
        return std::nullopt;
    }
    const auto main = Base64(lines[1], 2 + 8 + crypto_sign_BYTES);
    const auto global = Base64(lines[3], crypto_sign_BYTES);
    if (!main || !global || (*main)[0] != 'E') return std::nullopt;
    Signature signature;
    if ((*main)[1] == 'd') {
        signature.hashed = false;
    } else if ((*main)[1] != 'D') {
        return std::nullopt;
    }
    std::copy_n(main->begin() + 2, 8, signature.id.begin());
    std::copy_n(main->begin() + 10, crypto_sign_BYTES, signature.bytes.begin());
    signature.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
    std::copy_n(global->begin(), crypto_sign_BYTES, signature.commentSignature.begin());
    return signature;
}

void StartSodium() {
    if (sodium_init() < 0) throw RuntimeError(err::kInternal);
}

// Whether the signature holds for the file's bytes.
bool SignsFile(InputFile& file, const Signature& signature, const PublicKey& key) {
    const std::uint64_t size = file.size();
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk)));
    if (!signature.hashed) {
        if (size > SIZE_MAX / 2) throw RuntimeError(err::kOutOfMemory);
        std::vector<unsigned char> whole(static_cast<std::size_t>(size));
        if (size > 0) file.readAt(0, reinterpret_cast<char*>(whole.data()), whole.size());
        return crypto_sign_verify_detached(signature.bytes.data(), whole.data(), whole.size(),
                                           key.key.data()) == 0;
    }
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    for (std::uint64_t offset = 0; offset < size;) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - offset, kChunk));
        file.readAt(offset, chunk.data(), length);
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(chunk.data()),
                                  length);
        offset += length;
    }
    std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
    crypto_generichash_final(&state, hash.data(), hash.size());
    return crypto_sign_verify_detached(signature.bytes.data(), hash.data(), hash.size(),
                                       key.key.data()) == 0;
}

// The whole of a small file; nothing when it is larger than a key or signature file can be.
std::optional<std::string> ReadSmallFile(FileSystem& files, const std::string& path) {
    const std::unique_ptr<InputFile> file = files.openForReading(path);
    const std::uint64_t size = file->size();
    if (size > kMaxSmallFile) return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0) file->readAt(0, text.data(), text.size());
    return text;
}

} // namespace

std::string KeyIdText(const KeyId& id) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    // minisign shows the id as a little-endian number, without leading zeros.
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        text += kDigits[*byte >> 4];
        text += kDigits[*byte & 0x0F];
    }
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    return text.substr(first);
}

std::optional<PublicKey> ReadPublicKey(const std::string& text) {
    const std::vector<std::string_view> lines = Lines(text);
    std::string_view line;
    if (lines.size() == 1) {
        line = lines[0];
    } else if (lines.size() >= 2 && StartsWith(lines[0], kUntrustedPrefix)) {
        line = lines[1];
    } else {
        return std::nullopt;
    }
    const auto bytes = Base64(line, 2 + 8 + crypto_sign_PUBLICKEYBYTES);
    if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
    PublicKey key;
    std::copy_n(bytes->begin() + 2, 8, key.id.begin());
    std::copy_n(bytes->begin() + 10, crypto_sign_PUBLICKEYBYTES, key.key.begin());
    return key;
}

SignatureCheck CheckSignature(InputFile& file, const std::string& signatureText,
                              const PublicKey& key) {
    StartSodium();
    SignatureCheck check{Verdict::Damaged, KeyIdText(key.id), ""};
    const std::optional<Signature> signature = ReadSignature(signatureText);
    if (!signature) return check;
    check.signatureKeyId = KeyIdText(signature->id);
    if (signature->id != key.id) {
        check.verdict = Verdict::OtherKey;
    } else if (!SignsFile(file, *signature, key)) {
        check.verdict = Verdict::Changed;
    } else {
        // The trusted comment is signed together with the file's signature.
        std::vector<unsigned char> signedComment(signature->bytes.begin(), signature->bytes.end());
        signedComment.insert(signedComment.end(), signature->trustedComment.begin(),
                             signature->trustedComment.end());
        check.verdict =
            crypto_sign_verify_detached(signature->commentSignature.data(), signedComment.data(),
                                        signedComment.size(), key.key.data()) == 0
                ? Verdict::Good
                : Verdict::CommentChanged;
    }
    return check;
}

SignatureCheck CheckArchiveSignature(FileSystem& files, InputFile& archive,
                                     const std::string& archivePath, const std::string& keyPath) {
    const std::optional<std::string> keyText = ReadSmallFile(files, keyPath);
    const std::optional<PublicKey> key = keyText ? ReadPublicKey(*keyText) : std::nullopt;
    if (!key) return {Verdict::KeyDamaged, "", ""};
    const std::string signaturePath = archivePath + ".minisig";
    if (!files.fileExists(signaturePath)) return {Verdict::Missing, KeyIdText(key->id), ""};
    std::optional<std::string> signatureText;
    try {
        signatureText = ReadSmallFile(files, signaturePath);
    } catch (const RuntimeError&) {
        // A signature that cannot be read proves nothing, whatever kept it from being read.
    }
    if (!signatureText) return {Verdict::Damaged, KeyIdText(key->id), ""};
    return CheckSignature(archive, *signatureText, *key);
}

std::string VerdictText(const SignatureCheck& check) {
    switch (check.verdict) {
    case Verdict::Good:
        return "gültig";
    case Verdict::KeyDamaged:
        return "der öffentliche Schlüssel ist nicht im Format von minisign";
    case Verdict::Missing:
        return "keine Signaturdatei (.minisig) neben dem Archiv";
    case Verdict::Damaged:
        return "die Signaturdatei ist leer, abgeschnitten oder nicht im Format von minisign";
    case Verdict::OtherKey:
        return "signiert mit einem anderen Schlüssel (" + check.signatureKeyId + ")";
    case Verdict::Changed:
        return "das Archiv wurde nach dem Signieren verändert";
    case Verdict::CommentChanged:
        return "der vertrauenswürdige Kommentar wurde nach dem Signieren verändert";
    }
    return "";
}

} // namespace orv::signature
