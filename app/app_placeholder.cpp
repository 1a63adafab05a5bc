// The batch engine lands here.
