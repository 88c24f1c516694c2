// Resource, control and command ids of the program.
#pragma once
