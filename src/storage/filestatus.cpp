#include "storage/filestatus.h"

#include <fmt/format.h>

#include "platform/debuglog.h"

namespace morwick {

uint8_t IntelDBFileStatusFlags(std::initializer_list<tIntelDBFileStatusFlag> flags) {
    uint8_t set = 0;
    for (auto f : flags) set |= static_cast<uint8_t>(1u << f);
    return set;
}

std::string_view FileNamePart(std::string_view path) {
    auto pos = path.rfind('/');
    return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string_view DirectoryPart(std::string_view path) {
    auto pos = path.rfind('/');
    return pos == std::string_view::npos ? std::string_view() : path.substr(0, pos + 1);
}

std::string LowerCaseASCII(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool SameFrameTimeToMs(const tFrameTimeStamp& a, const tFrameTimeStamp& b) {
    return a.datetime == b.datetime && a.nanoseconds / 1'000'000 == b.nanoseconds / 1'000'000;
}

tIntelDBFileStatus getIntelDBFileStatus(tSQLiteConnection& db, std::string_view Filename,
                                        int64_t FileSize, tDateTime FileDate,
                                        const tFrameTimeStamp& FirstFrameTime,
                                        const tFrameTimeStamp& LastFrameTime) {
    tIntelDBFileStatus status;
    const std::string name = LowerCaseASCII(FileNamePart(Filename));

    tSQLiteStatement query(db, "SELECT * FROM filelist WHERE filename=:filename");
    query.BindText(":filename", name);
    const std::string directory = LowerCaseASCII(DirectoryPart(Filename));

    // Compares one row with the given file; true when the row lies in the same folder.
    auto check = [&](tIntelDBFileStatus& s) {
        s.DBIndex = query.ColumnInt32("id");
        s.Include(dbfsFilenameMatch);
        const bool samePath = LowerCaseASCII(query.ColumnText("filepath")) == directory;
        if (!samePath) {
            s.Attributes = 0;
            s.Include(dbfsWrongPath);
        }
        if (query.ColumnDateTime("filedate") != FileDate) s.Include(dbfsWrongFileDate);

        tFrameTimeStamp storedFirst{query.ColumnDateTime("firstframetimestamp"),
                                    query.ColumnInt32("firstframenanoseconds")};
        if (!SameFrameTimeToMs(storedFirst, FirstFrameTime)) s.Include(dbfsWrongFirstFrameDate);

        tFrameTimeStamp storedLast{query.ColumnDateTime("lastframetimestamp"),
                                   query.ColumnInt32("lastframenanoseconds")};
        if (storedLast.datetime.ms == 0) s.Include(dbfsUnknownLastFrameDate);
        if (LastFrameTime.datetime.ms > 0 && !SameFrameTimeToMs(storedLast, LastFrameTime)) {
            s.Include(dbfsWrongLastFrameDate);
        }
        if (query.ColumnInt64("filesize") != FileSize) s.Include(dbfsWrongSize);
        return samePath;
    };

    if (!query.Step()) {
        status.Include(dbfsNotFound);
    } else if (!check(status)) {
        // A folder database can hold files of the same name from several folders: the
        // row of the file's own folder answers, otherwise the first row.
        while (query.Step()) {
            tIntelDBFileStatus other;
            if (check(other)) {
                status = other;
                break;
            }
        }
    }
    if (DebugLogEnabled()) LogVerbose(IntelDBFileStatusToString(status));
    return status;
}

bool IntelDBFileStatusMatches(const tIntelDBFileStatus& status) {
    if (status.DBIndex == 0 || status.Has(dbfsWrongFirstFrameDate)) return false;
    if (status.Has(dbfsUnknownLastFrameDate)) return !status.Has(dbfsWrongSize);
    return !status.Has(dbfsWrongLastFrameDate);
}

std::string IntelDBFileStatusToString(const tIntelDBFileStatus& status) {
    static constexpr std::string_view words[8] = {
        "not found, ",        "filename match, ",         "wrong path, ",
        "wrong file date, ",  "wrong size, ",             "wrong first frame date, ",
        "wrong last frame date, ", "unknown last frame date, ",
    };
    std::string flags;
    for (int bit = 0; bit < 8; ++bit) {
        if ((status.Attributes >> bit) & 1u) flags += words[bit];
    }
    if (flags.size() >= 2) flags.resize(flags.size() - 2);
    return fmt::format("DBIndex {}, Attributes ({})", status.DBIndex, flags);
}

}  // namespace morwick
