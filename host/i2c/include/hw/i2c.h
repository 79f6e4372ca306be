// Stands in for QNX's <hw/i2c.h>: the message layouts and commands of the I2C resource manager.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define I2C_ADDRFMT_10BIT 0x0001u
#define I2C_ADDRFMT_7BIT 0x0002u

typedef struct
{
    uint32_t addr; // slave address, right-aligned
    uint32_t fmt;  // I2C_ADDRFMT_*
} i2c_addr_t;

// Header of a master send; the data follows it in the request.
typedef struct
{
    i2c_addr_t slave;
    uint32_t len;
    uint32_t stop; // non-zero: end with a stop condition
} i2c_send_t;

// Header of a master receive; the data follows it in the reply.
typedef struct
{
    i2c_addr_t slave;
    uint32_t len;
    uint32_t stop;
} i2c_recv_t;

// Header of a send followed by a receive after a repeated start.
typedef struct
{
    i2c_addr_t slave;
    uint32_t send_len;
    uint32_t recv_len;
    uint32_t stop;
} i2c_sendrecv_t;

// Device commands, as the resource manager numbers them (direction and size encoded).
#define DCMD_I2C_SET_BUS_SPEED 0x80040502u
#define DCMD_I2C_SEND 0x80100505u
#define DCMD_I2C_RECV 0xC0100506u
#define DCMD_I2C_SENDRECV 0xC0140507u

#ifdef __cplusplus
}
#endif
