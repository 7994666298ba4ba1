// A failure that ends a handler and goes to the application's error report.
#pragma once

#include <QString>

#include <stdexcept>

class TVornikError : public std::runtime_error
{
public:
    explicit TVornikError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};
