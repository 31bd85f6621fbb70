#pragma once
// GPX 1.1 exchange of marks, routes and tracks with other programs and
// devices: the writers and the import walk the objects and the managers
// through their public operations. Whole files are written through
// CAtomicFileWriter, so a failed export leaves the old file as it was.
#include "foundation/AtomicFile.h"
#include "foundation/platform/DialogParent.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CLineStyle;
class COverlayMark;
class COverlayRoute;
class COverlayTrack;
class CSyncable;
class CXmlNode;
struct CTrackPoint;

inline constexpr const char* kGPXMimeType = "application/gpx+xml";
// The names export offers for all marks, all routes and all tracks.
inline constexpr const char* kGPXMarksFileName = "marks.gpx";
inline constexpr const char* kGPXRoutesFileName = "routes.gpx";
inline constexpr const char* kGPXTracksFileName = "tracks.gpx";
// Larger files are refused on import.
inline constexpr int64_t kMaxGPXFileBytes = int64_t(1) << 30;

// Writes the header when made and "</gpx>\n" on Close. Made on a path it
// owns the file and replaces the target only when everything succeeded; made
// on an open stream it leaves the stream open.
class CGPXWriter
{
public:
    explicit CGPXWriter(std::FILE* file);
    CGPXWriter() = default;
    ~CGPXWriter(); // closes when Close was not called
    CGPXWriter(const CGPXWriter&) = delete;
    CGPXWriter& operator=(const CGPXWriter&) = delete;

    bool Open(const std::string& path);
    std::FILE* File() const { return m_file; }
    // Notes the result of an element written into File().
    void Check(bool ok) { m_ok = m_ok && ok; }
    // Footer, flush and close (or commit); true when every step and every
    // checked write succeeded.
    bool Close();
    const std::string& Error() const { return m_error; }

private:
    bool WriteHeader();

    CAtomicFileWriter m_atomic;
    std::FILE* m_file = nullptr;
    bool m_owned = false;
    bool m_ok = true;
    std::string m_error;
};

// Null when the file cannot be made.
std::unique_ptr<CGPXWriter> OpenGPXWriter(const std::string& path);

// The "%.10f" texts of a position for lat and lon attributes, the longitude
// brought into [-180, 180); false for a position that is not finite or not on
// the globe.
bool FormatGPXPosition(double latitude, double longitude, std::string& latText, std::string& lonText);
// A link as a URI that GPX readers accept: brackets outside the host, a '%'
// that starts no escape and every '#' after the first are percent-encoded;
// valid links stay as they are.
std::string MakeGPXLink(const std::string& link);
// "<extensions> <xstyle:line>" with colour, opacity, width and pattern.
bool WriteGPXLineStyle(std::FILE* file, const CLineStyle& style);
// The opening of an rte or trk element ("rte" or "trk"): its tag, name,
// description, sync tag (when the object has one), type and line style.
bool WriteGPXLineObjectHead(std::FILE* file, const char* element, const CSyncable& object,
                            const std::string& name, const std::string& description,
                            const std::string& category, const CLineStyle& style);

// A "wpt" element; nothing for a mark without a place. A free mark gets its
// sync id first, so that importing the file updates it.
bool WriteGPX(std::FILE* file, COverlayMark& mark);
// The children of wpt and rtept, shared with route points.
bool WriteGPXPointBody(std::FILE* file, const COverlayMark& mark);
// An "rte" element with its rtept points.
bool WriteGPX(std::FILE* file, COverlayRoute& route);
// The trk element, all sections in one trkseg; nothing without sections.
// Points that are not finite are left out. False when a write failed.
bool WriteGPX(std::FILE* file, COverlayTrack& track);
// Whichever of the three the object is (a comment for any other object).
bool WriteGPX(std::FILE* file, CSyncable& object);
// The object alone as a whole GPX file; false when any write failed.
bool SaveAsGPXFile(CSyncable& object, const std::string& path);
// Every mark (route, track) that is not deleted as one GPX file, replaced
// only when every write, the flush and the close succeeded.
bool ExportMarksGPXFile(const std::string& path);
bool ExportRoutesGPXFile(const std::string& path);
bool ExportTracksGPXFile(const std::string& path);

// Reads a GPX file into the mark manager (wpt and rte) and the track manager
// (trk); objects carrying one of our sync tags are updated in place, copies
// of existing objects are dropped. Points without a usable position are
// skipped. Waypoints, route and track points are taken while the file is
// parsed, so a long list costs no tree. The file is converted to UTF-8 first
// (UTF-8 and UTF-16 by their byte-order marks, else the declared UTF-8,
// ISO-8859-1 or Windows-1252). All or nothing: the objects join the managers
// only once the whole file has been read and made into objects, and are taken
// back when the stores cannot be saved with them. A file that cannot be read,
// is not XML, is cut short (its elements do not close), is in another
// encoding or is not GPX imports and saves nothing. Either way one message
// goes to the status line: which file and why, or what was imported and what
// was skipped or changed. True when at least one object was read and saved.
bool ImportGPXFile(const std::string& path);
// The same with the file read on a job thread: when that takes longer than a
// second the progress dialog shows over `parent` (its Cancel imports nothing).
// The objects join the managers on the main thread after the read.
void ImportGPXFileWithProgress(QWidget* parent, const std::string& path);

// Helpers of the import.
// The id of an element's "src" tag, else of its "desc" text; 0 when none.
uint64_t GetGPXSyncId(const CXmlNode* element);
// "desc" and a different "cmt" joined by a blank, cut at "Source: tsid:".
std::string GetGPXDescription(const CXmlNode* element);
// "name", else "Route #" and the "number" text, else "".
std::string GetGPXRouteName(const CXmlNode* element);
// The "extensions/line" style; fields that are absent keep their values.
void ReadGPXLineStyle(const CXmlNode* extensions, CLineStyle& style);
// The lat and lon attributes when both are finite numbers on the globe; the
// longitude is brought into [-180, 180).
bool ReadGPXPosition(const CXmlNode* point, double& latitude, double& longitude);
// One trkpt: its position, "time" and "ele" (only a finite one); false
// without a usable position.
bool ReadGPXTrackPoint(const CXmlNode* trkpt, CTrackPoint& point);
