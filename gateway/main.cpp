#include <iostream>

#include "GatewayApplication.h"

POCO_SERVER_MAIN(Orvik::Gateway::GatewayApplication)
