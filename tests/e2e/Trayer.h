#pragma once

#include "DisplayProbe.h"
#include "HelperProcess.h"

#include <QString>

#include <optional>

// trayer, a GTK 2 tray of the XEmbed kind, at an edge of the screen.
class Trayer
{
public:
    // Starts it; `gtkrc` (a GTK 2 resource file) colours its panel. Answers
    // whether it took the tray's selection in time.
    bool start(const char* edge, const char* align, const QString& gtkrc = {});
    // Kavo's icon, once embedded in the panel.
    std::optional<ProbedWindow> kavoIcon() const;
    QString errors() const { return m_process.errorOutput(); }

private:
    HelperProcess m_process;
    DisplayProbe m_display;
};
