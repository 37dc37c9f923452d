#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// "--snapshot DIR [FILE…]": renders three pictures of a shelf (empty, as a
// stack, as a list) into DIR as PNG files, then ends the program with status 0.
namespace Snapshot {

struct Request
{
    QString folder;
    QStringList files;
};

// The request in a command line (program path first): the first
// "--snapshot", the folder after it, every later argument a file. Nothing
// when "--snapshot" is missing or last.
std::optional<Request> parse(const QStringList& arguments);

// When the arguments ask for it, shows a shelf and schedules the three
// pictures; returns at once either way. Answers whether the mode started.
bool runIfRequested(const QStringList& arguments);

inline constexpr char emptyFile[] = "shelf-empty.png";
inline constexpr char stackFile[] = "shelf-stack.png";
inline constexpr char listFile[] = "shelf-list.png";

} // namespace Snapshot
