#pragma once

#include "inprocessinstrument.h"

#include <QTemporaryDir>

#include <string>

// Points the VISA layer's kernel backend at an empty tree for as long as it
// lives, so that a test finds only the instruments it lists itself, never a
// device plugged into this machine.
class NoKernelDevices
{
public:
    NoKernelDevices() { visa::setUsbtmcRoots(root(), root()); }
    ~NoKernelDevices() { visa::setUsbtmcRoots(std::string(), std::string()); }
    NoKernelDevices(const NoKernelDevices &) = delete;
    NoKernelDevices &operator=(const NoKernelDevices &) = delete;

    bool isValid() const { return m_tree.isValid(); }

private:
    std::string root() const { return m_tree.path().toStdString(); }

    QTemporaryDir m_tree;
};
