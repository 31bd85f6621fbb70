#include "foundation/web/WebBinaryCGI.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "foundation/AtomicFile.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"

bool CWebBinaryCGI::CReply::Read(void* bytes, size_t size)
{
    if (size == 0)
        return m_file != nullptr;
    return m_file && std::fread(bytes, 1, size, m_file) == size;
}

void CWebBinaryCGI::CReply::Open(FILE* file)
{
    Close();
    m_file = file;
    SetGood(file != nullptr);
}

void CWebBinaryCGI::CReply::Close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    SetGood(false);
}

CWebBinaryCGI::CWebBinaryCGI(const char* host, const char* programPath, bool secure, int port)
    : CTypeSerializer(kModeWrite), m_program(programPath ? programPath : ""), m_web(host, secure, port)
{
    m_body.reserve(1000);
    SetWide(true);
    if (m_web.HasBaseURL()) {
        auto relative = EncodeRelativeURL(m_program);
        if (relative)
            m_url = m_web.GetBaseURL() + *relative;
    }
}

CWebBinaryCGI::~CWebBinaryCGI() = default;

bool CWebBinaryCGI::Write(const void* bytes, size_t size)
{
    if (size == 0)
        return true;
    m_body.append(static_cast<const char*>(bytes), size);
    return true;
}

bool CWebBinaryCGI::Read(void*, size_t)
{
    return false;
}

bool CWebBinaryCGI::Execute()
{
    m_reply.Close();
    std::string folder = GetTempFolder();
    if (folder.empty()) {
        m_web.SetLocalError("No temporary folder for the server's reply.");
        return false;
    }
    // The reply lives in an unnamed file: nothing is left behind and no other
    // process can find or replace it.
    std::string name = folder + "/reply-XXXXXX";
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        m_web.SetLocalError(std::string("The server's reply cannot be stored: ") + std::strerror(errno));
        return false;
    }
    ::unlink(name.c_str());
    if (!m_web.Post(m_program.c_str(), m_body, fd)) {
        ::close(fd);
        return false;
    }
    FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        m_web.SetLocalError(std::string("The server's reply cannot be read: ") + std::strerror(errno));
        ::close(fd);
        return false;
    }
    std::rewind(file);
    m_reply.Open(file);
    return true;
}

bool CWebBinaryCGI::PostFile(const char* path)
{
    m_reply.Close();
    std::vector<uint8_t> bytes;
    std::string target = path ? path : "";
    if (target.empty() || HasParentComponent(target) || !ReadFileToBuffer(target, bytes)) {
        m_web.SetLocalError("The request file cannot be read: " + target);
        return false;
    }
    m_body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // The reply replaces the request file whole, or not at all.
    CAtomicFileWriter file;
    if (!file.Open(target)) {
        m_web.SetLocalError("The server's reply cannot be stored beside " + target + ": " + file.Error());
        return false;
    }
    if (!m_web.Post(m_program.c_str(), m_body, file.Descriptor())) {
        file.Abort();
        return false;
    }
    const bool ok = file.Commit();
    if (!ok)
        m_web.SetLocalError("The server's reply could not replace " + target + ": " + file.Error());
    return ok;
}
