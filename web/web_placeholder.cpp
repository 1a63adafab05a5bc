// The HTTP layer and the worker threads land here.
