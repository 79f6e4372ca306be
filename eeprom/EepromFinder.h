#pragma once

#include "Eeprom.h"
#include "I2CBus.h"

#include <memory>
#include <vector>

// Builds a driver for a chip on a bus and keeps it only when the chip returns
// one byte read at address 0. Every form returns an empty pointer when no chip
// answers (or the type is unknown); nothing is reported.
class EepromFinder
{
public:
    static constexpr unsigned short StandardAddress = 0x56;
    static constexpr unsigned short VorlikAddress = 0x52;

    static std::unique_ptr<Eeprom> FindEeprom(std::shared_ptr<I2CBus> bus, unsigned short address,
                                              Eeprom::EepromType type);
    // A 24C256 at 0x56.
    static std::unique_ptr<Eeprom> FindEeprom(std::shared_ptr<I2CBus> bus);
    // The first bus, in vector order, on which the chip answers.
    static std::unique_ptr<Eeprom> FindEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses, unsigned short address,
                                              Eeprom::EepromType type);
    static std::unique_ptr<Eeprom> FindEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses);
    // A 24C256 at 0x52.
    static std::unique_ptr<Eeprom> FindVorlikEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses);
};
