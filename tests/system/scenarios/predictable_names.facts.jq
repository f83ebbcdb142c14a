.interfaces[] | [.name, .bus_address, .firmware_slot, .onboard]
