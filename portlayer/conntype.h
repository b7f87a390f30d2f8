#ifndef CONNTYPE_H
#define CONNTYPE_H

// The medium a transport drives. Any value other than 0 and 1 means UDP.
enum ConnType {
    ConnUSB = 0,
    ConnSerial = 1,
    ConnUDP = 2,
};

#endif // CONNTYPE_H
