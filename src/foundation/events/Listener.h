#pragma once
// Typed, synchronous events on the main thread. Every data type T that is
// published has one source (a CListenerList) made when its first subscriber
// attaches; subscribers derive from Listener<T> and receive each published T
// in priority order, highest first, equal priorities in attach order.
#include <cstdint>

class CListenerList;

// A subscriber's link in its source. It lives inside the subscriber, so
// attaching and detaching never allocate.
class CListenerNode
{
public:
    using Callback = void (*)(void* object, const void* event);

    CListenerNode() = default;
    ~CListenerNode() { Detach(); }
    CListenerNode(const CListenerNode&) = delete;
    CListenerNode& operator=(const CListenerNode&) = delete;

    void Attach(CListenerList* source, Callback callback, void* object, int32_t priority);
    void Detach();
    bool IsAttached() const { return m_source != nullptr; }

    CListenerNode* m_next = nullptr;
    CListenerNode* m_prev = nullptr;
    int32_t m_priority = 0;
    Callback m_callback = nullptr;
    void* m_object = nullptr;
    CListenerList* m_source = nullptr;
};

// The event source of one data type.
class CListenerList
{
public:
    CListenerList();
    ~CListenerList() = default;
    CListenerList(const CListenerList&) = delete;
    CListenerList& operator=(const CListenerList&) = delete;

    // Delivers one event to every subscriber; returns true when a subscriber
    // stopped the delivery. `honourStop` false visits everyone (the heartbeat).
    bool Fire(const void* event, bool honourStop = true);
    // Ends the delivery in progress after the current subscriber returns.
    void StopDelivery();
    // Whether the last finished delivery was stopped.
    bool WasStopped() const { return m_stop; }
    // The time of the delivery in progress: read from the clock once per delivery.
    double GetEventTime();
    void ClearEventTime() { m_eventTime = 0; }
    bool IsEmpty() const { return m_head.m_next == &m_head; }
    bool IsDelivering() const { return m_active != nullptr; }
    // Deletes the source now, or when its outermost delivery ends.
    void Release();

private:
    friend class CListenerNode;
    // One per delivery in progress; nested deliveries of the same type stack up.
    struct Delivery
    {
        CListenerNode* cursor;
        bool stop;
        Delivery* outer;
    };

    bool m_stop = false;
    double m_eventTime = 0;
    CListenerNode m_head;
    Delivery* m_active = nullptr;
    bool m_releasePending = false;
};

// The global source pointer of type T (null until the first subscriber).
template <class T> inline CListenerList* gListenerSource = nullptr;

template <class T> class Listener
{
public:
    explicit Listener(int32_t priority = 0) { Attach(priority); }
    // A copy is a new subscriber of its own; it never shares the original's links.
    Listener(const Listener& other) { Attach(other.m_node.m_priority); }
    Listener& operator=(const Listener&) { return *this; }
    virtual ~Listener() { DetachFromSource(); }

    // The handler: receives each published T.
    virtual void Notify(const T& event) = 0;

    static CListenerList* Source() { return gListenerSource<T>; }
    static CListenerList** SourceSlot() { return &gListenerSource<T>; }

protected:
    // Subscribes again after DetachFromSource (making the source if needed).
    void AttachToSource() { Attach(m_node.m_priority); }
    // Leaves the source; the last subscriber to leave deletes it.
    void DetachFromSource()
    {
        m_node.Detach();
        CListenerList* source = gListenerSource<T>;
        if (source && source->IsEmpty()) {
            gListenerSource<T> = nullptr;
            source->Release();
        }
    }

    CListenerNode m_node;

private:
    static void Trampoline(void* object, const void* event)
    {
        static_cast<Listener*>(object)->Notify(*static_cast<const T*>(event));
    }
    void Attach(int32_t priority)
    {
        if (!gListenerSource<T>)
            gListenerSource<T> = new CListenerList();
        m_node.Attach(gListenerSource<T>, &Trampoline, this, priority);
    }
};

// Publishes an event to the subscribers of T, when there are any. Returns true
// when a subscriber stopped the delivery.
template <class T> bool FireEvent(const T& event)
{
    CListenerList* source = gListenerSource<T>;
    return source ? source->Fire(&event) : false;
}

template <class T> bool HasListeners()
{
    return gListenerSource<T> != nullptr;
}

// The time of the delivery of T in progress (the clock when none).
double GetEventTimeOf(CListenerList* source);
template <class T> double GetEventTime()
{
    return GetEventTimeOf(gListenerSource<T>);
}
