// The stream that unpacks entries on its own thread: every byte in order, whatever the sizes,
// an entry's error where that entry ends, and a stop at any point.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zip.h>

#include "archive/zipkit/entry_listing.h"
#include "archive/zipkit/entry_stream.h"
#include "platform/runtime_error.h"
#include "support/sandbox.h"
#include "support/zip_writer.h"

namespace orv::zipkit {
namespace {

using testing::Sandbox;
using testing::ZipEntry;

// Contents that deflate well but not to nothing, so the compressed data is real work.
std::string Contents(std::size_t size, char seed) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + static_cast<std::size_t>(seed)) % 23 +
                                    (i % 1013 == 0 ? 1 : 0));
    }
    return text;
}

class OpenedArchive {
  public:
    explicit OpenedArchive(const std::string& path) {
        int error = 0;
        archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
        if (archive_ == nullptr) throw std::runtime_error("cannot open " + path);
    }
    ~OpenedArchive() { zip_discard(archive_); }
    OpenedArchive(const OpenedArchive&) = delete;
    OpenedArchive& operator=(const OpenedArchive&) = delete;

    zip_t* get() const { return archive_; }

    std::vector<EntryToRead> all() const {
        std::vector<EntryToRead> entries;
        for (const ListedEntry& entry : ListEntries(archive_)) {
            entries.push_back({entry.index, entry.record, entry.name});
        }
        return entries;
    }

  private:
    zip_t* archive_ = nullptr;
};

// Everything the stream hands over for one entry.
std::string NextEntry(EntryStream& stream) {
    std::string data;
    while (true) {
        const EntryPiece& piece = stream.next();
        data.append(piece.data, piece.size);
        if (piece.last) return data;
    }
}

// Flips the checksum that the central directory records for the named entry.
std::string ReadAll(const std::string& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out{path, std::ios::binary | std::ios::trunc};
    out << bytes;
}

void SpoilChecksum(const std::string& path, const std::string& name) {
    std::string bytes = ReadAll(path);
    const std::size_t record = bytes.rfind(name) - 46; // the name follows the fixed fields
    ASSERT_EQ(bytes.compare(record, 4, "PK\x01\x02"), 0);
    bytes[record + 16] = static_cast<char>(bytes[record + 16] ^ 0x55);
    WriteAll(path, bytes);
}

// Each case runs twice: every entry streamed through zlib, and every entry that fits the bound
// inflated in one call.
class EntryStreamBy : public ::testing::TestWithParam<std::uint64_t> {
  protected:
    std::uint64_t limit() const { return GetParam(); }
};

// Turns the packed data of the named entry into something no inflater takes.
void SpoilData(const std::string& path, const std::string& name) {
    std::string bytes = ReadAll(path);
    const std::size_t header = bytes.find(std::string("PK\x03\x04", 4));
    const std::size_t local = bytes.find(name, header) - 30; // the first header naming it
    ASSERT_EQ(bytes.compare(local, 4, "PK\x03\x04"), 0);
    const std::size_t data = local + 30 + name.size() +
                             static_cast<unsigned char>(bytes[local + 28]) +
                             256u * static_cast<unsigned char>(bytes[local + 29]);
    for (std::size_t i = 0; i < 64; ++i) {
        bytes[data + i] = static_cast<char>(0xFF);
    }
    WriteAll(path, bytes);
}

TEST_P(EntryStreamBy, HandsOverEveryEntryWholeAndInOrder) {
    // Empty, tiny, exactly one piece, one byte more, and more than all pieces together.
    const std::vector<std::size_t> sizes = {
        0, 1, kStreamPieceSize, kStreamPieceSize + 1, 5 * kStreamPieceSize, 5};
    std::vector<ZipEntry> entries;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        entries.push_back({"F" + std::to_string(i), Contents(sizes[i], static_cast<char>(i))});
    }
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"), entries);
    const OpenedArchive archive{sandbox.path("a.zip")};

    EntryStream stream{archive.get(), archive.all(), limit()};
    for (const ZipEntry& entry : entries) {
        EXPECT_EQ(NextEntry(stream), entry.contents) << entry.name;
    }
}

TEST_P(EntryStreamBy, RaisesAnEntrysErrorWhereThatEntryEnds) {
    const std::vector<ZipEntry> entries = {
        {"first", Contents(300 * 1024, 1)},
        {"spoilt", Contents(200 * 1024, 2)},
        {"after", Contents(10, 3)},
    };
    const struct {
        void (*spoil)(const std::string& path, const std::string& name);
        int number;
    } cases[] = {{SpoilChecksum, err::kZipCrc}, {SpoilData, err::kZipDamaged}};
    for (const auto& c : cases) {
        const Sandbox sandbox;
        testing::WriteZip(sandbox.path("a.zip"), entries);
        c.spoil(sandbox.path("a.zip"), "spoilt");
        const OpenedArchive archive{sandbox.path("a.zip")};

        EntryStream stream{archive.get(), archive.all(), limit()};
        EXPECT_EQ(NextEntry(stream), entries[0].contents);
        try {
            NextEntry(stream);
            ADD_FAILURE() << "the spoilt entry was handed over as whole";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), c.number) << error.description();
            EXPECT_NE(error.description().find("spoilt"), std::string::npos) << error.description();
        }
    }
}

TEST_P(EntryStreamBy, RefusesAnEntryLongerOrShorterThanDeclared) {
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"), {{"long", Contents(1000, 4)}});
    const OpenedArchive archive{sandbox.path("a.zip")};
    const struct {
        std::uint64_t declared;
        int number;
    } cases[] = {{999, err::kZipTooLarge}, {0, err::kZipTooLarge}, {1001, err::kZipDamaged}};
    for (const auto& c : cases) {
        std::vector<EntryToRead> entries = archive.all();
        entries[0].record.size = c.declared;
        EntryStream stream{archive.get(), entries, limit()};
        try {
            NextEntry(stream);
            ADD_FAILURE() << "an entry of 1000 bytes declared as " << c.declared
                          << " was handed over";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), c.number) << c.declared;
        }
    }
}

TEST_P(EntryStreamBy, StopsWhereverItsReaderIs) {
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"),
                      {{"big", Contents(4 * 1024 * 1024, 5)}, {"next", Contents(10, 6)}});
    const OpenedArchive archive{sandbox.path("a.zip")};
    for (int piecesTaken = 0; piecesTaken < 3; ++piecesTaken) {
        EntryStream stream{archive.get(), archive.all(), limit()};
        for (int i = 0; i < piecesTaken; ++i) {
            stream.next();
        }
        // Leaving the scope must not wait for the rest of the archive to be read.
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EntryStreamBy, ::testing::Values(0, kWholeEntryLimit),
                         [](const auto& testInfo) {
                             return testInfo.param == 0 ? "streamed" : "whole";
                         });

} // namespace
} // namespace orv::zipkit
