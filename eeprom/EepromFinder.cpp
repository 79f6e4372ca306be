#include "EepromFinder.h"

#include "Cat24c16Eeprom.h"
#include "Cat24c256Eeprom.h"

#include <utility>

std::unique_ptr<Eeprom> EepromFinder::FindEeprom(std::shared_ptr<I2CBus> bus, unsigned short address,
                                                 Eeprom::EepromType type)
{
    if (!bus) {
        return nullptr;
    }
    auto device = std::make_shared<I2CDevice>(std::move(bus), address, I2C::AddressMode::SevenBit);
    std::unique_ptr<Eeprom> driver;
    switch (type) {
    case Eeprom::EepromType::Cat24c16:
        driver = std::make_unique<Cat24c16Eeprom>(std::move(device));
        break;
    case Eeprom::EepromType::Cat24c256:
        driver = std::make_unique<Cat24c256Eeprom>(std::move(device));
        break;
    default:
        return nullptr;
    }
    unsigned char probe = 0;
    if (driver->Read(0, &probe, 1) != 1) {
        return nullptr;
    }
    return driver;
}

std::unique_ptr<Eeprom> EepromFinder::FindEeprom(std::shared_ptr<I2CBus> bus)
{
    return FindEeprom(std::move(bus), StandardAddress, Eeprom::EepromType::Cat24c256);
}

std::unique_ptr<Eeprom> EepromFinder::FindEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses,
                                                 unsigned short address, Eeprom::EepromType type)
{
    for (const auto& bus : buses) {
        auto driver = FindEeprom(bus, address, type);
        if (driver) {
            return driver;
        }
    }
    return nullptr;
}

std::unique_ptr<Eeprom> EepromFinder::FindEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses)
{
    return FindEeprom(buses, StandardAddress, Eeprom::EepromType::Cat24c256);
}

std::unique_ptr<Eeprom> EepromFinder::FindVorlikEeprom(const std::vector<std::shared_ptr<I2CBus>>& buses)
{
    return FindEeprom(buses, VorlikAddress, Eeprom::EepromType::Cat24c256);
}
