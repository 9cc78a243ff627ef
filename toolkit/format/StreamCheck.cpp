#include "format/StreamCheck.h"

#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <system_error>

#include "format/ArchivePlacement.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/OggTrackFile.h"
#include "format/PathCase.h"
#include "format/StreamCipher.h"
#include "format/TrackHeader.h"
#include "format/Warnings.h"

namespace kivo
{

StreamCheck::StreamCheck(const std::filesystem::path &lookupFile)
    : lookupPath(lookupFile)
{
    try {
        LookupFile::RefuseOtherKind(lookupPath, "BankLkup.dat");
        lookup = LookupFile::Load(lookupPath);
        const std::filesystem::path strmPaks = ResolvePathCase(lookupPath.parent_path() / "StrmPaks.dat");
        std::error_code error;
        if (!std::filesystem::is_regular_file(strmPaks, error))
            throw FormatError("StrmPaks.dat was not found beside " + lookupPath.string() + "; it is needed to find a pack's tracks");
        names = NameTable::Load(strmPaks, NameTable::StreamRecordSize);
    } catch (const FormatError &error) {
        setup.push_back({CheckFinding::Kind::CouldNotCheck, lookupPath, "", error.what()});
    }
}

std::vector<CheckFinding> StreamCheck::Check(const std::filesystem::path &pack, const std::filesystem::path &file) const
{
    std::vector<CheckFinding> findings;
    const std::string name = pack.filename().string();
    const std::string lookupName = lookupPath.filename().string();
    std::optional<BinaryFile> archive;
    const std::vector<std::size_t> records = OpenForCheck(
        pack, file, *names, *lookup, lookupName, {"StrmPaks.dat", "tracks", "the game plays none of them"}, archive, findings);
    if (records.empty())
        return findings;

    std::vector<Placement> placements;
    std::vector<std::string> vorbisErrors(records.size()); // empty where the Vorbis headers parse or were not read
    std::vector<CheckFinding> zeroTracks;
    std::size_t readable = 0;
    // A track's header and the start of its Ogg data, read at once: the Vorbis headers usually end
    // there, and the check reads no further than they do.
    constexpr std::size_t oggStart = 4096;
    std::vector<unsigned char> track;
    try {
        for (std::size_t t = 0; t < records.size(); ++t) {
            const std::uint64_t offset = lookup->Record(records[t]).offset;
            const std::string where = "track " + std::to_string(t + 1) + " (lookup record " + std::to_string(records[t]) + ")";
            placements.push_back({where, offset, offset + TrackHeader::Size});
            if (placements.back().end > archive->Size())
                continue;
            ++readable;
            track.resize(TrackHeader::Size + oggStart);
            std::size_t held = static_cast<std::size_t>(std::min<std::uint64_t>(track.size(), archive->Size() - offset));
            archive->ReadAt(offset, track.data(), held);
            if (AllZero(track.data(), TrackHeader::Size)) {
                zeroTracks.push_back({CheckFinding::Kind::ZeroFilled, file, where,
                                      "holds only zeros where its header should be (a damaged copy): the game cannot play it"});
                continue;
            }
            XorAtPosition(track.data(), TrackHeader::Size, offset);
            const std::string label = name + ", " + where;
            TrackHeader header;
            try {
                Warnings ignored;
                // The length is judged against the pack below, where a cut-off pack is told apart.
                header = TrackHeader::Parse(track.data(), std::numeric_limits<std::uint64_t>::max(), label, ignored);
            } catch (const FormatError &error) {
                findings.push_back({CheckFinding::Kind::HeaderRefused, file, where,
                                    WithoutPlace(error.what(), label) + "; the toolkit refuses this track, and the game cannot play it"});
                continue;
            }
            placements.back().end += header.oggLength;
            if (placements.back().end > archive->Size())
                continue;
            // Checked here, while the track's start is at hand; told only for tracks the pack holds whole.
            const std::uint64_t payload = offset + TrackHeader::Size;
            std::size_t oggHeld = static_cast<std::size_t>(std::min<std::uint64_t>(held - TrackHeader::Size, header.oggLength));
            XorAtPosition(track.data() + TrackHeader::Size, oggHeld, payload);
            bool bHeadersEnd = false;
            std::size_t needed = VorbisHeadersEnd(track.data() + TrackHeader::Size, oggHeld, bHeadersEnd);
            while (!bHeadersEnd && needed > oggHeld && needed <= header.oggLength) {
                track.resize(TrackHeader::Size + needed);
                archive->ReadAt(payload + oggHeld, track.data() + TrackHeader::Size + oggHeld, needed - oggHeld);
                XorAtPosition(track.data() + TrackHeader::Size + oggHeld, needed - oggHeld, payload + oggHeld);
                oggHeld = needed;
                needed = VorbisHeadersEnd(track.data() + TrackHeader::Size, oggHeld, bHeadersEnd);
            }
            const TrackReader read = [&](std::uint64_t at, unsigned char *buffer, std::size_t count) {
                if (at + count <= oggHeld) {
                    std::memcpy(buffer, track.data() + TrackHeader::Size + at, count);
                    return;
                }
                archive->ReadAt(payload + at, buffer, count);
                XorAtPosition(buffer, count, payload + at);
            };
            try {
                Warnings ignored; // variants the game's own tracks do not use are no fault
                CheckOggVorbisData(read, bHeadersEnd ? needed : header.oggLength, where, ignored, &knownSetups);
            } catch (const FormatError &error) {
                vorbisErrors[t] = WithoutPlace(error.what(), where) + ": the game cannot play this track";
            }
        }
    } catch (const FormatError &error) {
        return {{CheckFinding::Kind::CouldNotCheck, file, "", error.what()}};
    }
    if (readable > 1 && zeroTracks.size() == readable)
        findings.push_back({CheckFinding::Kind::ZeroFilled, file, "",
                            "holds only zeros where its tracks should be (a damaged copy): the game plays none of them"});
    else
        findings.insert(findings.end(), zeroTracks.begin(), zeroTracks.end());
    const std::vector<bool> inside = FindPlacementsOutside(file, archive->Size(), lookupName, placements, findings);
    for (std::size_t t = 0; t < records.size(); ++t)
        if (inside[t] && !vorbisErrors[t].empty())
            findings.push_back({CheckFinding::Kind::VorbisHeaders, file, placements[t].where, vorbisErrors[t]});
    return findings;
}
}
