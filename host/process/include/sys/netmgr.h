// Stands in for QNX's <sys/netmgr.h>: node descriptors.
#pragma once

// The node descriptor of this machine.
#define ND_LOCAL_NODE 0
