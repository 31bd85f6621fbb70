#pragma once
// A request to a server program: the body is built with the typed field
// encodings (strings as 16-bit characters), posted, and the reply is read back
// with the same encodings. The stream classes go one way each, so the request
// is this object (write mode) and the reply is Reply() (read mode).
#include <cstdio>
#include <string>

#include "foundation/objectfile/TypeSerializer.h"
#include "foundation/web/WebServer.h"

class CWebBinaryCGI : public CTypeSerializer
{
public:
    // The request goes to "http[s]://host[:port]" + '/' (unless the path has one) + path.
    CWebBinaryCGI(const char* host, const char* programPath, bool secure, int port = 0);
    ~CWebBinaryCGI() override;

    // Appends to the request body.
    bool Write(const void* bytes, size_t size) override;
    // The request is write-only; read the reply through Reply().
    bool Read(void* bytes, size_t size) override;

    // Posts the body; on a 2xx reply the reply is open for reading through
    // Reply(). False on any other reply or failure (error code and text in Web()).
    bool Execute();
    // Appends the whole file (at most 100,000,000 bytes) to the body, posts it,
    // and replaces the file with the reply, but only with a 2xx reply.
    bool PostFile(const char* path);

    // The reply of the last successful Execute; not good before one.
    CTypeSerializer& Reply() { return m_reply; }
    // A reply read from `file` (taken over) as if the server had sent it (fuzzing).
    void SetReplyForTesting(FILE* file) { m_reply.Open(file); }
    CWebServer& Web() { return m_web; }
    // The full request address ("" when the host was refused).
    const std::string& GetRequestURL() const { return m_url; }
    const std::string& GetBody() const { return m_body; }

private:
    class CReply : public CTypeSerializer
    {
    public:
        CReply() : CTypeSerializer(kModeRead) { SetGood(false); }
        ~CReply() override { Close(); }
        bool Write(const void*, size_t) override { return false; }
        bool Read(void* bytes, size_t size) override;
        void Open(FILE* file);
        void Close();

    private:
        FILE* m_file = nullptr;
    };

    std::string m_program;
    std::string m_url;
    std::string m_body;
    CWebServer m_web;
    CReply m_reply;
};
