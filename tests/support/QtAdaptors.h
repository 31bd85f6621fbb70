#pragma once
// The Qt dialog presenter, pop-up menus and progress dialog, installed the way
// the application's start-up installs them, for tests that work with real
// windows. While one lives they are in place; when it goes the defaults are
// back. A scripted presenter sits over the Qt one while both live.
namespace tessatest {

class CQtAdaptors
{
public:
    CQtAdaptors();
    ~CQtAdaptors();
    CQtAdaptors(const CQtAdaptors&) = delete;
    CQtAdaptors& operator=(const CQtAdaptors&) = delete;
};

} // namespace tessatest
