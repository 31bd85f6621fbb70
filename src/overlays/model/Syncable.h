#pragma once
// The base of every user object exchanged with the server and with GPX files
// (marks, routes, tracks): its identity across machines, its names, times and
// flags. Deleted objects stay in their lists as tombstones, so that the
// deletion can be synchronised; lists, drawing and export skip them.
#include "foundation/objectfile/Serializable.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class CBoundingBox;
class CSerialChunk;

class CSyncable : public CSerializable
{
public:
    CSyncable();
    ~CSyncable() override = default;

    // The form written to the synchronisation file.
    virtual bool SyncSerialize(CSerialStream& stream) { return Serialize(stream); }
    // Grows a longitude (x) / latitude (y) box to hold the object; false when
    // the object has no place.
    virtual bool ExtendBounds(CBoundingBox& box) const
    {
        (void)box;
        return false;
    }

    // The id, made the first time it is asked for.
    uint64_t GetSyncId();
    bool HasSyncId() const { return m_syncId != 0; }
    void SetSyncId(uint64_t id);
    std::string FormatSyncTag() const;
    // The id after the first "tsid:" in the text; 0 when there is none or it
    // has more than 16 hexadecimal digits.
    static uint64_t ParseSyncTag(const std::string& text);

    // A number of its own for the life of the process, never reused: menus
    // hold it instead of a pointer to an object that may go away.
    uint64_t GetSerial() const { return m_serial; }

    // modified = now.
    void Touch();
    bool ModifiedSince(double time) const;
    void MarkDeleted();
    void Undelete();
    void SetVisible(bool visible);
    void SetLocked(bool locked);
    void SetDoNotSync(bool doNotSync);

    // Writes or reads the sync block as its own chunk; true when all seven
    // fields were exchanged.
    bool SerializeSyncBlock(CSerialStream& stream);

    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    const std::string& GetDescription() const { return m_description; }
    void SetDescription(const std::string& text) { m_description = text; }
    const std::string& GetCategory() const { return m_category; }
    void SetCategory(const std::string& text) { m_category = text; }
    double GetModified() const { return m_modified; }
    double GetCreated() const { return m_created; }
    void SetCreated(double time) { m_created = time; }
    bool GetVisibleFlag() const { return m_visible; }
    bool IsLocked() const { return m_locked; }
    bool IsDoNotSync() const { return m_doNotSync; }
    bool IsDeleted() const { return m_deleted; }

    // A new id: the signed-in account (Port<IAccountNumberSource>(), 0 while none is
    // known) in bits 63..32, the low bits random and mixed with the time;
    // never 0 and never one this process made or read before.
    static uint64_t MakeSyncId(double now);

    // The current time of every change (the heartbeat's).
    static double Now();

protected:
    // Own times after a read: created never after modified, both finite.
    void FixTimesAfterRead();

    double m_modified;
    double m_created;
    std::string m_name;
    std::string m_description;
    std::string m_category;
    bool m_visible = true;
    bool m_locked = false;
    bool m_doNotSync = false;
    uint64_t m_syncId = 0;
    bool m_deleted = false;

private:
    uint64_t m_serial;
};
