// The stream that unpacks entries on its own thread: every byte in order, whatever the sizes,
// an entry's error where that entry ends, and a stop at any point.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zip.h>

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
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
            zip_stat_t stat;
            zip_stat_index(archive_, index, 0, &stat);
            entries.push_back({index, stat.size, stat.name});
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
void SpoilChecksum(const std::string& path, const std::string& name) {
    std::ifstream in{path, std::ios::binary};
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    const std::size_t record = bytes.rfind(name) - 46; // the name follows the fixed fields
    ASSERT_EQ(bytes.compare(record, 4, "PK\x01\x02"), 0);
    bytes[record + 16] = static_cast<char>(bytes[record + 16] ^ 0x55);
    std::ofstream out{path, std::ios::binary | std::ios::trunc};
    out << bytes;
}

TEST(EntryStream, HandsOverEveryEntryWholeAndInOrder) {
    // Empty, tiny, exactly one piece, one byte more, and more than all pieces together.
    const std::vector<std::size_t> sizes = {0, 1, 128 * 1024, 128 * 1024 + 1, 3 * 1024 * 1024, 5};
    std::vector<ZipEntry> entries;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        entries.push_back({"F" + std::to_string(i), Contents(sizes[i], static_cast<char>(i))});
    }
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"), entries);
    const OpenedArchive archive{sandbox.path("a.zip")};

    EntryStream stream{archive.get(), archive.all()};
    for (const ZipEntry& entry : entries) {
        EXPECT_EQ(NextEntry(stream), entry.contents) << entry.name;
    }
}

TEST(EntryStream, RaisesAnEntrysErrorWhereThatEntryEnds) {
    const std::vector<ZipEntry> entries = {
        {"first", Contents(300 * 1024, 1)},
        {"spoilt", Contents(200 * 1024, 2)},
        {"after", Contents(10, 3)},
    };
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"), entries);
    SpoilChecksum(sandbox.path("a.zip"), "spoilt");
    const OpenedArchive archive{sandbox.path("a.zip")};

    EntryStream stream{archive.get(), archive.all()};
    EXPECT_EQ(NextEntry(stream), entries[0].contents);
    try {
        NextEntry(stream);
        FAIL() << "the spoilt entry was handed over as whole";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), err::kZipCrc);
        EXPECT_NE(error.description().find("spoilt"), std::string::npos) << error.description();
    }
}

TEST(EntryStream, RefusesAnEntryLongerThanDeclared) {
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"), {{"long", Contents(1000, 4)}});
    const OpenedArchive archive{sandbox.path("a.zip")};
    std::vector<EntryToRead> entries = archive.all();
    entries[0].size = 999;

    EntryStream stream{archive.get(), entries};
    try {
        NextEntry(stream);
        FAIL() << "an entry longer than declared was handed over";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), err::kZipTooLarge);
    }
}

TEST(EntryStream, StopsWhereverItsReaderIs) {
    const Sandbox sandbox;
    testing::WriteZip(sandbox.path("a.zip"),
                      {{"big", Contents(4 * 1024 * 1024, 5)}, {"next", Contents(10, 6)}});
    const OpenedArchive archive{sandbox.path("a.zip")};
    for (int piecesTaken = 0; piecesTaken < 3; ++piecesTaken) {
        EntryStream stream{archive.get(), archive.all()};
        for (int i = 0; i < piecesTaken; ++i) {
            stream.next();
        }
        // Leaving the scope must not wait for the rest of the archive to be read.
    }
}

} // namespace
} // namespace orv::zipkit
