# Pelliwick speaks every key and every prompt itself: NVDA sleeps while the
# game's window has the focus, so that nothing is said twice.
import appModuleHandler


class AppModule(appModuleHandler.AppModule):
	sleepMode = True
