#pragma once
// Signatures of update archives in minisign's formats: the vendor signs orvupd.zip with
// `minisign -Sm orvupd.zip`, which writes orvupd.zip.minisig beside it, and an installation
// that trusts the vendor carries the public key file (`minisign -G`) as UPDATE\orvupd.pub.
// Ed25519 over the BLAKE2b-512 hash of the file (algorithm "ED", minisign's default) or over
// the file itself ("Ed", its legacy form); the key id must be the key's, and the trusted
// comment's own signature must hold too.

#include <array>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace orv::signature {

using KeyId = std::array<unsigned char, 8>;

struct PublicKey {
    KeyId id{};
    std::array<unsigned char, 32> key{};
};

// The key id as minisign shows it: up to 16 hexadecimal digits, upper case, without leading
// zeros.
std::string KeyIdText(const KeyId& id);

// The key in the text of a public key file (its comment line, then the key), or in the key
// line alone; nothing when the text holds no key in minisign's form.
std::optional<PublicKey> ReadPublicKey(const std::string& text);

enum class Verdict {
    Good,
    KeyDamaged,     // the public key file holds no key
    Missing,        // there is no signature file
    Damaged,        // the signature file is empty, cut or not in minisign's form
    OtherKey,       // signed, but by another key
    Changed,        // the file is not the one signed
    CommentChanged, // the trusted comment is not the one signed
};

struct SignatureCheck {
    Verdict verdict = Verdict::Missing;
    std::string keyId;          // the trusted key's id; empty when the key file holds none
    std::string signatureKeyId; // the id the signature names, when it could be read
};

// Checks the file's bytes, read through the open file, against the text of its signature file.
SignatureCheck CheckSignature(InputFile& file, const std::string& signatureText,
                              const PublicKey& key);

// Checks the archive, read through the open file, against archivePath + ".minisig" and the key
// in keyPath. A file that cannot be read raises its RuntimeError, a signature file that cannot
// be read counts as damaged.
SignatureCheck CheckArchiveSignature(FileSystem& files, InputFile& archive,
                                     const std::string& archivePath, const std::string& keyPath);

// What the check found, in German, for the run log and the archive check.
std::string VerdictText(const SignatureCheck& check);

} // namespace orv::signature
